// Turning the inspector address text into something to connect to.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "error.h"

namespace vorbek {

struct SocketAddress {
  enum class Family { IPv4, IPv6 };
  Family family = Family::IPv4;
  std::array<std::uint8_t, 16> bytes{};  // IPv4 uses the first four
  std::uint32_t scope_id = 0;
  std::uint16_t port = 0;

  bool operator==(const SocketAddress&) const = default;
};

// 127.0.0.0/8, ::1, and IPv4-mapped 127.0.0.0/8.
bool is_loopback(const SocketAddress& address);

// A name for the resolver, with the port already checked.
struct HostAndPort {
  std::string host;
  std::uint16_t port = 0;

  bool operator==(const HostAndPort&) const = default;
};

using AddressPlan = std::variant<SocketAddress, HostAndPort>;

// The whole text as a numeric IPv4 or [IPv6] socket address, or nothing.
std::optional<SocketAddress> parse_numeric_socket_address(std::string_view text);

// Numeric forms first, else a last-colon split for the resolver.
Result<AddressPlan> parse_inspector_address(std::string_view text);

}  // namespace vorbek
