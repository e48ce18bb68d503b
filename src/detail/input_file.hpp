#pragma once

#include <fstream>
#include <string>

namespace veltrax::se2::detail {

// Opens a regular file for reading. A device or a pipe may never end (/dev/zero) or block for
// ever (a FIFO without a writer), so only regular files are read. Throws std::invalid_argument
// for a path holding a NUL character, std::runtime_error "cannot open input file: <path>" or
// "input file is not a regular file: <path>".
std::ifstream openInputFile(const std::string& path, std::ios::openmode mode);

}  // namespace veltrax::se2::detail
