#include "regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vorbek {
namespace {

Error errno_error(int code) { return Error::os(code, std::strerror(code)); }

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

Result<std::string> read_regular_file(const std::string& path, std::size_t max_size) {
  // Non-blocking: opening a FIFO with no writer would otherwise wait for
  // one; the check below then refuses it.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (file.get() < 0) return errno_error(errno);
  struct stat status;
  if (::fstat(file.get(), &status) != 0) return errno_error(errno);
  if (!S_ISREG(status.st_mode)) return Error("not a regular file");
  auto too_large = [&] { return Error("larger than " + std::to_string(max_size) + " bytes"); };
  if (status.st_size < 0 || static_cast<std::size_t>(status.st_size) > max_size) {
    return too_large();
  }

  // The file may grow while it is read; the bound still holds.
  std::string content(static_cast<std::size_t>(status.st_size), '\0');
  std::size_t used = 0;
  for (;;) {
    if (used == content.size()) {
      if (content.size() > max_size) return too_large();
      content.resize(std::min(max_size + 1, content.size() + 65536));
    }
    const ssize_t n = ::read(file.get(), content.data() + used, content.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno_error(errno).wrap("read failed");
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  if (used > max_size) return too_large();
  content.resize(used);
  return content;
}

}  // namespace vorbek
