#include "console.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace vorbek {
namespace {

// A closed pipe must come back as EPIPE rather than kill the process. The
// old disposition is restored so that children started later (the web
// engine's processes) do not inherit an ignored SIGPIPE.
class SigpipeIgnored {
 public:
  SigpipeIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previous_);
  }
  ~SigpipeIgnored() { sigaction(SIGPIPE, &previous_, nullptr); }
  SigpipeIgnored(const SigpipeIgnored&) = delete;
  SigpipeIgnored& operator=(const SigpipeIgnored&) = delete;

 private:
  struct sigaction previous_ {};
};

int write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

}  // namespace

std::vector<std::string> command_line_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

Status write_stdout(std::string_view text) {
  SigpipeIgnored guard;
  if (int code = write_all(STDOUT_FILENO, text); code != 0) {
    return Error::os(code, std::strerror(code));
  }
  return {};
}

void write_stderr(std::string_view text) {
  SigpipeIgnored guard;
  (void)write_all(STDERR_FILENO, text);
}

std::optional<std::string> read_environment(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

}  // namespace vorbek
