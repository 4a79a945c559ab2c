// The few socket operations discovery needs; one implementation per platform.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "error.h"
#include "socket_address.h"

namespace vorbek {

// IPv4 and IPv6 results in the resolver's order, each with `port`.
Result<std::vector<SocketAddress>> resolve_host(const std::string& host, std::uint16_t port);

// A connected TCP stream, closed when destroyed; not inherited by children.
class TcpStream {
 public:
  static Result<TcpStream> connect(const SocketAddress& address);

  TcpStream(TcpStream&& other) noexcept;
  TcpStream& operator=(TcpStream&& other) noexcept;
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;
  ~TcpStream();

  Status set_receive_timeout(std::chrono::milliseconds timeout);
  // Sends everything, resuming after partial sends.
  Status send_all(std::string_view bytes);
  // Bytes received into `buffer`; 0 at the end of the stream.
  Result<std::size_t> receive(char* buffer, std::size_t size);

 private:
  explicit TcpStream(std::intptr_t handle) : handle_(handle) {}
  void close();

  std::intptr_t handle_ = -1;
};

}  // namespace vorbek
