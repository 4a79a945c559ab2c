#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "net.h"
#include "sockets/sockaddr.h"
#include "win32/text.h"

namespace vorbek {
namespace {

Error socket_error() { return win32::os_error(static_cast<unsigned long>(WSAGetLastError())); }

// Winsock 2.2 for the rest of the process; the one WSAStartup sits before
// the first socket call. Never cleaned up: sockets may be in use until exit.
Status start_winsock() {
  static const int code = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (code != 0) return win32::os_error(static_cast<unsigned long>(code));
  return {};
}

struct AddrinfoFree {
  void operator()(ADDRINFOA* list) const { freeaddrinfo(list); }
};

SOCKET as_socket(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

}  // namespace

Result<std::vector<SocketAddress>> resolve_host(const std::string& host, std::uint16_t port) {
  if (auto started = start_winsock(); !started) return std::move(started).error();
  ADDRINFOA hints{};
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOA* raw = nullptr;
  // getaddrinfo's codes are Winsock error codes.
  if (const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &raw); rc != 0) {
    return win32::os_error(static_cast<unsigned long>(rc));
  }
  std::unique_ptr<ADDRINFOA, AddrinfoFree> list(raw);
  return sockets::socket_addresses(list.get(), port);
}

Result<TcpStream> TcpStream::connect(const SocketAddress& address) {
  if (auto started = start_winsock(); !started) return std::move(started).error();
  sockaddr_storage storage;
  const int length = sockets::to_sockaddr(address, storage);

  const SOCKET s = WSASocketW(storage.ss_family, SOCK_STREAM, 0, nullptr, 0,
                              WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return socket_error();
  TcpStream stream(static_cast<std::intptr_t>(s));  // closes on every path from here
  if (::connect(s, reinterpret_cast<const sockaddr*>(&storage), length) != 0) {
    return socket_error();
  }
  return stream;
}

void TcpStream::close() {
  if (handle_ != -1) closesocket(as_socket(handle_));
  handle_ = -1;
}

Status TcpStream::set_receive_timeout(std::chrono::milliseconds timeout) {
  const DWORD ms = static_cast<DWORD>(timeout.count());
  if (setsockopt(as_socket(handle_), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms),
                 sizeof ms) != 0) {
    return socket_error();
  }
  return {};
}

Status TcpStream::send_all(std::string_view bytes) {
  while (!bytes.empty()) {
    const int chunk = static_cast<int>(std::min<size_t>(bytes.size(), 1 << 30));
    const int n = ::send(as_socket(handle_), bytes.data(), chunk, 0);
    if (n == SOCKET_ERROR) return socket_error();
    if (n == 0) return Error("failed to write whole buffer");
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

Result<std::size_t> TcpStream::receive(char* buffer, std::size_t size) {
  const int chunk = static_cast<int>(std::min<size_t>(size, 1 << 30));
  const int n = ::recv(as_socket(handle_), buffer, chunk, 0);
  if (n != SOCKET_ERROR) return static_cast<std::size_t>(n);
  if (WSAGetLastError() == WSAESHUTDOWN) return std::size_t{0};
  return socket_error();
}

}  // namespace vorbek
