#include "socket_address.h"

#include <gtest/gtest.h>

namespace vorbek {
namespace {

SocketAddress v4(std::array<std::uint8_t, 4> b, std::uint16_t port) {
  SocketAddress a;
  std::copy(b.begin(), b.end(), a.bytes.begin());
  a.port = port;
  return a;
}

SocketAddress v6(std::array<std::uint8_t, 16> b, std::uint16_t port, std::uint32_t scope = 0) {
  SocketAddress a;
  a.family = SocketAddress::Family::IPv6;
  a.bytes = b;
  a.port = port;
  a.scope_id = scope;
  return a;
}

TEST(SocketAddress, NumericForms) {
  EXPECT_EQ(parse_numeric_socket_address("127.0.0.1:9229"), v4({127, 0, 0, 1}, 9229));
  EXPECT_EQ(parse_numeric_socket_address("0.0.0.0:0"), v4({0, 0, 0, 0}, 0));
  EXPECT_EQ(parse_numeric_socket_address("255.255.255.255:65535"), v4({255, 255, 255, 255}, 65535));
  EXPECT_EQ(parse_numeric_socket_address("[::1]:9229"),
            v6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 9229));
  EXPECT_EQ(parse_numeric_socket_address("[::]:1"), v6({}, 1));
  EXPECT_EQ(parse_numeric_socket_address("[fe80::1%4294967295]:80"),
            v6({0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 80, 4294967295u));
  EXPECT_EQ(parse_numeric_socket_address("[1:2:3:4:5:6:7:8]:1"),
            v6({0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8}, 1));
  EXPECT_EQ(parse_numeric_socket_address("[::ffff:1.2.3.4]:1"),
            v6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 1, 2, 3, 4}, 1));
  EXPECT_EQ(parse_numeric_socket_address("[1:2:3:4:5:6:1.2.3.4]:1"),
            v6({0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 1, 2, 3, 4}, 1));
  EXPECT_EQ(parse_numeric_socket_address("[1::]:1"), v6({0, 1}, 1));
  EXPECT_EQ(parse_numeric_socket_address("[ABCD::0001]:1"),
            v6({0xab, 0xcd, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 1));
}

TEST(SocketAddress, Loopback) {
  for (const char* text : {"127.0.0.1:1", "127.8.9.10:1", "[::1]:1", "[::ffff:127.0.0.1]:1"}) {
    EXPECT_TRUE(is_loopback(*parse_numeric_socket_address(text))) << text;
  }
  for (const char* text : {"10.0.0.1:1", "0.0.0.0:1", "[::2]:1", "[::]:1", "[::ffff:10.0.0.1]:1",
                           "[1::1]:1", "128.0.0.1:1"}) {
    EXPECT_FALSE(is_loopback(*parse_numeric_socket_address(text))) << text;
  }
}

TEST(SocketAddress, NotNumeric) {
  for (const char* text : {
           "localhost:9229", "127.0.0.1:+9229", "127.0.0.01:1", "256.0.0.1:1", "1.2.3:1",
           "1.2.3.4.5:1", "127.0.0.1:65536", "127.0.0.1:", "127.0.0.1:1x", " 127.0.0.1:1",
           "::1:9229", "[::1]", "[::1]:", "[::1]:+1", "[1::2::3]:1", "[1:2:3:4:5:6:7:8:9]:1",
           "[1:2:3:4:5:6:7::8]:1", "[12345::]:1", "[1.2.3.4]:1", "[1.2.3.4::]:1",
           "[::1%]:1", "[::1%4294967296]:1", "[::1%-1]:1", "[::g]:1", "[::1] :1"}) {
    EXPECT_FALSE(parse_numeric_socket_address(text).has_value()) << text;
  }
}

TEST(SocketAddress, ResolverPathSplitsAtLastColon) {
  auto plan = parse_inspector_address("localhost:9229");
  ASSERT_TRUE(plan.ok());
  EXPECT_EQ(std::get<HostAndPort>(plan.value()), (HostAndPort{"localhost", 9229}));

  // The sign is only accepted here, not in the numeric form.
  plan = parse_inspector_address("127.0.0.1:+9229");
  ASSERT_TRUE(plan.ok());
  EXPECT_EQ(std::get<HostAndPort>(plan.value()), (HostAndPort{"127.0.0.1", 9229}));

  plan = parse_inspector_address("::1:9229");
  ASSERT_TRUE(plan.ok());
  EXPECT_EQ(std::get<HostAndPort>(plan.value()), (HostAndPort{"::1", 9229}));

  plan = parse_inspector_address(":0");
  ASSERT_TRUE(plan.ok());
  EXPECT_EQ(std::get<HostAndPort>(plan.value()), (HostAndPort{"", 0}));

  plan = parse_inspector_address("[::1]:9229");
  ASSERT_TRUE(plan.ok());
  EXPECT_TRUE(std::holds_alternative<SocketAddress>(plan.value()));
}

TEST(SocketAddress, Refusals) {
  for (const char* text : {"127.0.0.1", "", "localhost"}) {
    auto plan = parse_inspector_address(text);
    ASSERT_FALSE(plan.ok()) << text;
    EXPECT_EQ(plan.error().outermost(), "invalid socket address") << text;
  }
  for (const char* text : {"127.0.0.1:65536", "127.0.0.1:", "h:+", "h:++1", "h:-1", "h:1a",
                           "h: 1", "h:99999999999999999999999", "[::1]:", "[::1]"}) {
    auto plan = parse_inspector_address(text);
    ASSERT_FALSE(plan.ok()) << text;
    EXPECT_EQ(plan.error().outermost(), "invalid port value") << text;
  }
}

}  // namespace
}  // namespace vorbek
