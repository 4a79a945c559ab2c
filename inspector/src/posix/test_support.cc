#include "posix/test_support.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace vorbek::testing {
namespace {

int bound_listener(std::uint16_t port, std::uint16_t* bound_port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    throw std::runtime_error("bind failed");
  }
  socklen_t length = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
  *bound_port = ntohs(addr.sin_port);
  return fd;
}

}  // namespace

FakeInspector::FakeInspector(Serve serve, std::uint16_t port) : serve_(std::move(serve)) {
  listener_ = bound_listener(port, &port_);
  listen(listener_, 16);
  thread_ = std::thread([this] {
    while (!stopping_) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++connections_;
      serve_(fd);
      ::close(fd);
    }
  });
}

FakeInspector::~FakeInspector() {
  stopping_ = true;
  thread_.join();
  ::close(listener_);
}

std::string FakeInspector::read_request(int fd) {
  std::string request;
  char buffer[1024];
  while (request.find("\r\n\r\n") == std::string::npos) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<size_t>(n));
  }
  return request;
}

void FakeInspector::send_text(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

std::uint16_t unused_port() {
  std::uint16_t port = 0;
  ::close(bound_listener(0, &port));
  return port;
}

}  // namespace vorbek::testing
