#include "detail/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>
#include <string>

#include "detail/errors.hpp"

namespace veltrax::se2::detail {
namespace {

bool writeAll(int fd, const std::string& text) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

// A symbolic link stays a link: the file it points to is the one replaced.
std::string resolvedTarget(const std::string& path) {
  struct stat link_status;
  if (::lstat(path.c_str(), &link_status) != 0 || !S_ISLNK(link_status.st_mode)) {
    return path;
  }
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) {
    return path;
  }
  std::string target(real);
  std::free(real);
  return target;
}

// Removes the temporary file unless the rename has consumed it.
class TemporaryFile {
 public:
  TemporaryFile(std::string name, int fd) : name_(std::move(name)), fd_(fd) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
    if (!name_.empty()) {
      ::unlink(name_.c_str());
    }
  }
  int fd() const { return fd_; }
  const std::string& name() const { return name_; }
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }
  void release() { name_.clear(); }

 private:
  std::string name_;
  int fd_;
};

// Truncates first, so a failure loses the old contents: only for devices and pipes, and for files
// whose directory cannot hold a temporary.
void writeInPlace(const std::string& path, const char* open_failure, const char* write_failure,
                  const std::function<std::string()>& produce) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    throwRuntimeError(open_failure + path);
  }
  std::string text;
  try {
    text = produce();
  } catch (...) {
    ::close(fd);
    throw;
  }
  const bool written = writeAll(fd, text);
  if (::close(fd) != 0 || !written) {
    throwRuntimeError(write_failure + path);
  }
}

}  // namespace

void replaceFileContents(const std::string& path, const char* open_failure,
                         const char* write_failure, const std::function<std::string()>& produce) {
  const auto fail = [&path](const char* prefix) { throwRuntimeError(prefix + path); };
  if (path.empty()) {
    fail(open_failure);
  }
  struct stat status;
  const bool exists = ::stat(path.c_str(), &status) == 0;
  if (exists && S_ISDIR(status.st_mode)) {
    fail(open_failure);
  }
  if (exists && !S_ISREG(status.st_mode)) {
    writeInPlace(path, open_failure, write_failure, produce);
    return;
  }
  if (exists) {
    // Replacing by rename needs only a writable directory; refuse what writing in place would.
    const int probe = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (probe < 0) {
      fail(open_failure);
    }
    ::close(probe);
  }

  const std::string target = resolvedTarget(path);
  const std::size_t slash = target.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  // Short enough to stay within the file-name limit whatever the target's name.
  const std::string stem = target.substr(directory.size(), 64);
  std::random_device entropy;
  int fd = -1;
  std::string temporary_name;
  for (int attempt = 0; attempt < 64 && fd < 0; ++attempt) {
    temporary_name = directory + "." + stem + ".tmp-" + std::to_string(::getpid()) + "-" +
                     std::to_string(entropy());
    fd = ::open(temporary_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && errno != EEXIST) {
      break;
    }
  }
  if (fd < 0) {
    // A writable file in a directory that takes no new files can still be written in place.
    if (exists) {
      writeInPlace(path, open_failure, write_failure, produce);
      return;
    }
    fail(open_failure);
  }
  TemporaryFile temporary(temporary_name, fd);
  if (exists) {
    ::fchmod(fd, status.st_mode & 07777);
  }
  const std::string text = produce();
  const bool written = writeAll(temporary.fd(), text) && ::fsync(temporary.fd()) == 0;
  if (!temporary.close() || !written || ::rename(temporary.name().c_str(), target.c_str()) != 0) {
    fail(write_failure);
  }
  temporary.release();
}

}  // namespace veltrax::se2::detail
