#pragma once

#include <functional>
#include <string>

namespace veltrax::se2::detail {

// Writes the text that produce() returns to path without ever leaving a half-written file in
// place of the old one: a regular file (or a missing one) is written as a temporary file in the
// same directory and renamed over the target on success; on any failure the temporary is removed
// and the old file stays. Devices and pipes are written in place, and so is a writable file whose
// directory takes no new files. The target is checked before
// produce() runs, so a file that cannot be opened is reported before any other problem.
// Throws std::runtime_error with open_failure + path or write_failure + path; exceptions from
// produce() propagate.
void replaceFileContents(const std::string& path, const char* open_failure,
                         const char* write_failure, const std::function<std::string()>& produce);

}  // namespace veltrax::se2::detail
