#pragma once

#include <functional>
#include <string>

namespace veltrax::se2::detail {

// Throws std::invalid_argument "file path must not contain a NUL character": the system would
// silently use the name up to the first one.
void requireUsablePath(const std::string& path);

// Writes the text that produce() returns to path without ever leaving a half-written file in
// place of the old one: the text goes to a temporary file in the target's directory, which is
// renamed over the target on success; on any failure the temporary is removed and the old file
// stays as it was. A symbolic link (even a dangling one) is followed and the file it names is
// written. Only regular files are written. The target is checked before produce() runs, so a file
// that cannot be opened is reported before any other problem.
// Throws std::invalid_argument from requireUsablePath, std::runtime_error with open_failure +
// path, write_failure + path, "output file is not a regular file: " + path or "cannot create a
// temporary file beside the output file: " + path (an existing file in a directory that takes no
// new files); exceptions from produce() propagate.
void replaceFileContents(const std::string& path, const char* open_failure,
                         const char* write_failure, const std::function<std::string()>& produce);

}  // namespace veltrax::se2::detail
