// A fake inspector on 127.0.0.1 for the discovery tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace vorbek::testing {

// Accepts connections on an ephemeral loopback port, one at a time, and hands
// each to `serve` with the connected socket; the socket is closed after.
class FakeInspector {
 public:
  using Serve = std::function<void(int fd)>;
  explicit FakeInspector(Serve serve, std::uint16_t port = 0);
  ~FakeInspector();
  FakeInspector(const FakeInspector&) = delete;
  FakeInspector& operator=(const FakeInspector&) = delete;

  std::uint16_t port() const { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  int connections() const { return connections_.load(); }

  // Reads what the client sent until the blank line that ends its request.
  static std::string read_request(int fd);
  static void send_text(int fd, std::string_view text);

 private:
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<int> connections_{0};
  std::atomic<bool> stopping_{false};
  Serve serve_;
  std::thread thread_;
};

// A loopback port that nothing listens on, for now.
std::uint16_t unused_port();

}  // namespace vorbek::testing
