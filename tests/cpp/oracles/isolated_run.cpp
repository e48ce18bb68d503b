#include "oracles/isolated_run.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace veltrax::se2::testing {

namespace {

bool writeAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written <= 0) {
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// False at a clean end of stream or when the stream ends inside a record.
bool readAll(int fd, void* data, std::size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = ::read(fd, bytes, size);
    if (got <= 0) {
      return false;
    }
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

[[noreturn]] void runChild(int fd, std::size_t first, std::size_t count,
                           const std::function<void(std::size_t, std::vector<double>&)>& compute) {
  const int null_fd = ::open("/dev/null", O_WRONLY);
  if (null_fd >= 0) {
    ::dup2(null_fd, STDERR_FILENO);
  }
  std::vector<double> out;
  for (std::size_t i = first; i < count; ++i) {
    out.clear();
    compute(i, out);
    const std::uint64_t header[2] = {i, out.size()};
    if (!writeAll(fd, header, sizeof header) ||
        !writeAll(fd, out.data(), out.size() * sizeof(double))) {
      ::_exit(2);
    }
  }
  ::_exit(0);
}

}  // namespace

std::vector<std::optional<std::vector<double>>> runIsolated(
    std::size_t count, const std::function<void(std::size_t, std::vector<double>&)>& compute) {
  std::vector<std::optional<std::vector<double>>> results(count);
  std::size_t next = 0;
  while (next < count) {
    int fds[2];
    if (::pipe(fds) != 0) {
      throw std::runtime_error("pipe failed");
    }
    const pid_t child = ::fork();
    if (child < 0) {
      throw std::runtime_error("fork failed");
    }
    if (child == 0) {
      ::close(fds[0]);
      runChild(fds[1], next, count, compute);
    }
    ::close(fds[1]);
    std::uint64_t header[2];
    while (readAll(fds[0], header, sizeof header)) {
      std::vector<double> out(header[1]);
      if (!readAll(fds[0], out.data(), out.size() * sizeof(double))) {
        break;
      }
      results[header[0]] = std::move(out);
      next = header[0] + 1;
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      break;
    }
    // The child died while computing item `next`: leave it empty and go on after it.
    ++next;
  }
  return results;
}

}  // namespace veltrax::se2::testing
