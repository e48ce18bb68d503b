#include "detail/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>
#include <vector>

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

// A symbolic link stays a link, dangling or not: the name it leads to is the one written. False
// when the chain of links does not end (a loop, or more links than the system follows itself).
bool followLinks(const std::string& path, std::string& target) {
  target = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat link_status;
    if (::lstat(target.c_str(), &link_status) != 0 || !S_ISLNK(link_status.st_mode)) {
      return true;
    }
    std::vector<char> buffer(static_cast<std::size_t>(link_status.st_size) + 256);
    const ssize_t length = ::readlink(target.c_str(), buffer.data(), buffer.size());
    if (length < 0 || static_cast<std::size_t>(length) >= buffer.size()) {
      return false;
    }
    const std::string next(buffer.data(), static_cast<std::size_t>(length));
    const std::size_t slash = target.rfind('/');
    target = (!next.empty() && next.front() == '/') || slash == std::string::npos
                 ? next
                 : target.substr(0, slash + 1) + next;
  }
  return false;
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

}  // namespace

void requireUsablePath(const std::string& path) {
  if (path.find('\0') != std::string::npos) {
    throwInvalidArgument("file path must not contain a NUL character");
  }
}

void replaceFileContents(const std::string& path, const char* open_failure,
                         const char* write_failure, const std::function<std::string()>& produce) {
  requireUsablePath(path);
  const auto fail = [&path](const char* prefix) { throwFileError(prefix + path); };
  std::string target;
  if (path.empty() || !followLinks(path, target)) {
    fail(open_failure);
  }
  struct stat status;
  const bool exists = ::stat(target.c_str(), &status) == 0;
  if (exists && S_ISDIR(status.st_mode)) {
    fail(open_failure);
  }
  // Writing a device or a pipe could block for ever or lose data half-way; neither is replaced.
  if (exists && !S_ISREG(status.st_mode)) {
    fail("output file is not a regular file: ");
  }
  if (exists) {
    // Replacing by rename needs only a writable directory; refuse what writing in place would.
    const int probe = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (probe < 0) {
      fail(open_failure);
    }
    ::close(probe);
  }

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
    // Writing in place would lose the old contents on any failure, so the file stays as it is.
    if (exists) {
      fail("cannot create a temporary file beside the output file: ");
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
