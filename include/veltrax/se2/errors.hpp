#pragma once

// The two kinds of failure a map or result file can have, as types of their own so that callers
// can tell a file they cannot read from a file that is not a map. Both derive from
// std::runtime_error, the type these failures always had, so code catching that still works.

#include <stdexcept>
#include <string>

#include "veltrax/se2/export.hpp"

namespace veltrax::se2 {

// A file that cannot be opened, read or written: missing, not a regular file (a device, a pipe, a
// directory), unreadable, or a write that failed. The message names the path.
class VELTRAX_SE2_EXPORT FileError : public std::runtime_error {
 public:
  explicit FileError(const std::string& message);
  ~FileError() override;
  FileError(const FileError&) = default;
  FileError& operator=(const FileError&) = default;
};

// A file that was read but does not hold a map of its format: a bad header, a malformed value, a
// grid of the wrong shape, a description with a missing or invalid field, or an unknown format.
class VELTRAX_SE2_EXPORT MapFormatError : public std::runtime_error {
 public:
  explicit MapFormatError(const std::string& message);
  ~MapFormatError() override;
  MapFormatError(const MapFormatError&) = default;
  MapFormatError& operator=(const MapFormatError&) = default;
};

}  // namespace veltrax::se2
