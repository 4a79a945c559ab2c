// The inspector address parser: numeric forms checked against the C
// library's own inet_pton, then the last-colon split and its port rules.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "fuzz_check.h"
#include "socket_address.h"

namespace {

// Decimal digits only, at least one (leading zeros allowed), value up to `max`.
std::optional<std::uint64_t> decimal(std::string_view text, std::uint64_t max) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    if (value > max) return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > max) return std::nullopt;
  return value;
}

// What the numeric form should be, by an independent reading.
std::optional<vorbek::SocketAddress> expected_numeric(std::string_view text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  auto port = decimal(text.substr(colon + 1), 65535);
  if (!port) return std::nullopt;
  std::string_view host = text.substr(0, colon);

  vorbek::SocketAddress address;
  address.port = static_cast<std::uint16_t>(*port);
  if (!host.starts_with('[')) {
    const std::string ipv4(host);
    if (ipv4.find('\0') != std::string::npos) return std::nullopt;
    if (inet_pton(AF_INET, ipv4.c_str(), address.bytes.data()) != 1) return std::nullopt;
    return address;
  }
  if (!host.ends_with(']')) return std::nullopt;
  host = host.substr(1, host.size() - 2);
  if (const size_t percent = host.find('%'); percent != std::string_view::npos) {
    auto scope = decimal(host.substr(percent + 1), 0xFFFFFFFF);
    if (!scope) return std::nullopt;
    address.scope_id = static_cast<std::uint32_t>(*scope);
    host = host.substr(0, percent);
  }
  const std::string ipv6(host);
  if (ipv6.find('\0') != std::string::npos) return std::nullopt;
  if (inet_pton(AF_INET6, ipv6.c_str(), address.bytes.data()) != 1) return std::nullopt;
  address.family = vorbek::SocketAddress::Family::IPv6;
  return address;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto numeric = vorbek::parse_numeric_socket_address(text);
  FUZZ_CHECK(numeric == expected_numeric(text));

  auto plan = vorbek::parse_inspector_address(text);
  const size_t colon = text.rfind(':');
  if (numeric) {
    FUZZ_CHECK(plan && std::get<vorbek::SocketAddress>(plan.value()) == *numeric);
    return 0;
  }
  if (colon == std::string_view::npos) {
    FUZZ_CHECK(!plan && plan.error().messages() ==
                            std::vector<std::string>{"invalid socket address"});
    return 0;
  }
  std::string_view port_text = text.substr(colon + 1);
  if (port_text.starts_with('+')) port_text.remove_prefix(1);
  const auto port = decimal(port_text, 65535);
  if (!port) {
    FUZZ_CHECK(!plan && plan.error().messages() == std::vector<std::string>{"invalid port value"});
    return 0;
  }
  // Everything before the last colon goes to the resolver unchanged.
  FUZZ_CHECK(plan);
  const auto& named = std::get<vorbek::HostAndPort>(plan.value());
  FUZZ_CHECK(named.host == text.substr(0, colon));
  FUZZ_CHECK(named.port == *port);
  return 0;
}
