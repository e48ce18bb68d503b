#include "veltrax/se2/errors.hpp"

namespace veltrax::se2 {

// Out of line, so that the classes' type information lives in the library and an exception thrown
// here is caught by its type in the caller's code.
FileError::FileError(const std::string& message) : std::runtime_error(message) {}
FileError::~FileError() = default;

MapFormatError::MapFormatError(const std::string& message) : std::runtime_error(message) {}
MapFormatError::~MapFormatError() = default;

}  // namespace veltrax::se2
