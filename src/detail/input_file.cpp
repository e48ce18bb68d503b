#include "detail/input_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "detail/errors.hpp"
#include "detail/output_file.hpp"

namespace veltrax::se2::detail {

std::ifstream openInputFile(const std::string& path, std::ios::openmode mode) {
  requireUsablePath(path);
  // The descriptor opens without blocking just to ask what the path is.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    throwFileError("cannot open input file: " + path);
  }
  struct stat status;
  const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  ::close(fd);
  if (!regular) {
    throwFileError("input file is not a regular file: " + path);
  }
  std::ifstream file(path, mode | std::ios::in);
  if (!file.is_open()) {
    throwFileError("cannot open input file: " + path);
  }
  return file;
}

}  // namespace veltrax::se2::detail
