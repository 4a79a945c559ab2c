#include "net.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "sockets/sockaddr.h"

namespace vorbek {
namespace {

Error os_error(int code) { return Error::os(code, std::strerror(code)); }

struct AddrinfoFree {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

// A connect interrupted by a signal goes on in the background; wait for it.
int finish_interrupted_connect(int fd) {
  pollfd p{fd, POLLOUT, 0};
  while (poll(&p, 1, -1) < 0) {
    if (errno != EINTR) return errno;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

}  // namespace

Result<std::vector<SocketAddress>> resolve_host(const std::string& host, std::uint16_t port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* raw = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &raw);
  if (rc != 0) {
    if (rc == EAI_SYSTEM) return os_error(errno);
    return Error::os(rc, gai_strerror(rc));
  }
  std::unique_ptr<addrinfo, AddrinfoFree> list(raw);
  return sockets::socket_addresses(list.get(), port);
}

Result<TcpStream> TcpStream::connect(const SocketAddress& address) {
  sockaddr_storage storage;
  const socklen_t length = sockets::to_sockaddr(address, storage);

  const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return os_error(errno);
  TcpStream stream(fd);  // closes on every path from here
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&storage), length) != 0) {
    const int code = errno == EINTR ? finish_interrupted_connect(fd) : errno;
    if (code != 0) return os_error(code);
  }
  return stream;
}

void TcpStream::close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

Status TcpStream::set_receive_timeout(std::chrono::milliseconds timeout) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
  tv.tv_usec = static_cast<suseconds_t>(timeout.count() % 1000 * 1000);
  if (setsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) {
    return os_error(errno);
  }
  return {};
}

Status TcpStream::send_all(std::string_view bytes) {
  while (!bytes.empty()) {
    // MSG_NOSIGNAL: a peer that has gone away is an error, not a SIGPIPE.
    const ssize_t n = ::send(static_cast<int>(handle_), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return os_error(errno);
    }
    if (n == 0) return Error("failed to write whole buffer");
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

Result<std::size_t> TcpStream::receive(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::recv(static_cast<int>(handle_), buffer, size, 0);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    if (errno == ESHUTDOWN) return std::size_t{0};
    return os_error(errno);
  }
}

}  // namespace vorbek
