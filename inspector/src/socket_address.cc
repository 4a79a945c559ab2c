#include "socket_address.h"

#include <cstdint>
#include <optional>
#include <span>

namespace vorbek {
namespace {

// A cursor over the text; each reader either consumes what it reads or,
// on failure, leaves the position where it was.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool at_end() const { return pos_ == text_.size(); }

  bool eat(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  bool eat(std::string_view s) {
    if (text_.substr(pos_).starts_with(s)) {
      pos_ += s.size();
      return true;
    }
    return false;
  }

  // Digits in `radix`, at most `max_digits` of them (0 = any), value at most
  // `max_value`; a leading zero only when `allow_leading_zero`.
  std::optional<std::uint64_t> number(unsigned radix, size_t max_digits, std::uint64_t max_value,
                                      bool allow_leading_zero) {
    const size_t start = pos_;
    std::uint64_t value = 0;
    size_t digits = 0;
    while (pos_ < text_.size()) {
      const int d = digit(text_[pos_], radix);
      if (d < 0) break;
      if (max_digits != 0 && digits == max_digits) break;
      value = value * radix + static_cast<unsigned>(d);
      ++digits;
      ++pos_;
      if (value > max_value) {
        pos_ = start;
        return std::nullopt;
      }
    }
    if (digits == 0 || (!allow_leading_zero && digits > 1 && text_[start] == '0')) {
      pos_ = start;
      return std::nullopt;
    }
    return value;
  }

  size_t pos() const { return pos_; }
  void reset(size_t pos) { pos_ = pos; }

 private:
  static int digit(char c, unsigned radix) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    return d >= 0 && static_cast<unsigned>(d) < radix ? d : -1;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

std::optional<std::array<std::uint8_t, 4>> read_ipv4(Cursor& c) {
  const size_t start = c.pos();
  std::array<std::uint8_t, 4> octets{};
  for (size_t i = 0; i < 4; ++i) {
    if (i > 0 && !c.eat('.')) {
      c.reset(start);
      return std::nullopt;
    }
    auto octet = c.number(10, 3, 255, false);
    if (!octet) {
      c.reset(start);
      return std::nullopt;
    }
    octets[i] = static_cast<std::uint8_t>(*octet);
  }
  return octets;
}

// Reads up to groups.size() 16-bit groups separated by ":", an IPv4 tail
// allowed where two groups are left. Returns how many were read and
// whether the last two came from an IPv4 tail.
std::pair<size_t, bool> read_groups(Cursor& c, std::span<std::uint16_t> groups) {
  for (size_t i = 0; i < groups.size(); ++i) {
    const size_t before = c.pos();
    if (i + 1 < groups.size()) {
      if (i == 0 || c.eat(':')) {
        if (auto v4 = read_ipv4(c)) {
          groups[i] = static_cast<std::uint16_t>((*v4)[0] << 8 | (*v4)[1]);
          groups[i + 1] = static_cast<std::uint16_t>((*v4)[2] << 8 | (*v4)[3]);
          return {i + 2, true};
        }
      }
      c.reset(before);
    }
    if (i > 0 && !c.eat(':')) return {i, false};
    auto group = c.number(16, 4, 0xFFFF, true);
    if (!group) {
      c.reset(before);
      return {i, false};
    }
    groups[i] = static_cast<std::uint16_t>(*group);
  }
  return {groups.size(), false};
}

std::optional<std::array<std::uint8_t, 16>> read_ipv6(Cursor& c) {
  const size_t start = c.pos();
  std::array<std::uint16_t, 8> groups{};
  auto [head, head_ipv4] = read_groups(c, groups);
  if (head < 8) {
    // "::" stands for at least one zero group; no IPv4 before it.
    if (head_ipv4 || !c.eat("::")) {
      c.reset(start);
      return std::nullopt;
    }
    std::array<std::uint16_t, 7> tail{};
    auto [tail_size, tail_ipv4] = read_groups(c, std::span(tail).first(7 - head));
    (void)tail_ipv4;
    for (size_t i = 0; i < tail_size; ++i) groups[8 - tail_size + i] = tail[i];
  }
  std::array<std::uint8_t, 16> bytes{};
  for (size_t i = 0; i < 8; ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(groups[i] >> 8);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(groups[i] & 0xFF);
  }
  return bytes;
}

std::optional<std::uint16_t> read_unsigned_port(Cursor& c) {
  auto port = c.number(10, 0, 65535, true);
  if (!port) return std::nullopt;
  return static_cast<std::uint16_t>(*port);
}

}  // namespace

std::optional<SocketAddress> parse_numeric_socket_address(std::string_view text) {
  {
    Cursor c(text);
    if (auto v4 = read_ipv4(c); v4 && c.eat(':')) {
      if (auto port = read_unsigned_port(c); port && c.at_end()) {
        SocketAddress address;
        std::copy(v4->begin(), v4->end(), address.bytes.begin());
        address.port = *port;
        return address;
      }
    }
  }
  Cursor c(text);
  if (!c.eat('[')) return std::nullopt;
  auto v6 = read_ipv6(c);
  if (!v6) return std::nullopt;
  SocketAddress address;
  address.family = SocketAddress::Family::IPv6;
  address.bytes = *v6;
  if (c.eat('%')) {
    auto scope = c.number(10, 0, 0xFFFFFFFF, true);
    if (!scope) return std::nullopt;
    address.scope_id = static_cast<std::uint32_t>(*scope);
  }
  if (!c.eat("]:")) return std::nullopt;
  auto port = read_unsigned_port(c);
  if (!port || !c.at_end()) return std::nullopt;
  address.port = *port;
  return address;
}

Result<AddressPlan> parse_inspector_address(std::string_view text) {
  if (auto numeric = parse_numeric_socket_address(text)) return AddressPlan(*numeric);

  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return Error("invalid socket address");

  Cursor c(text.substr(colon + 1));
  c.eat('+');
  auto port = read_unsigned_port(c);
  if (!port || !c.at_end()) return Error("invalid port value");
  return AddressPlan(HostAndPort{std::string(text.substr(0, colon)), *port});
}

bool is_loopback(const SocketAddress& address) {
  const auto& b = address.bytes;
  if (address.family == SocketAddress::Family::IPv4) return b[0] == 127;
  bool zeros_before_last = true;
  for (std::size_t i = 0; i < 15; ++i) zeros_before_last = zeros_before_last && b[i] == 0;
  if (zeros_before_last && b[15] == 1) return true;
  bool mapped = b[10] == 0xff && b[11] == 0xff;
  for (std::size_t i = 0; i < 10; ++i) mapped = mapped && b[i] == 0;
  return mapped && b[12] == 127;
}

}  // namespace vorbek
