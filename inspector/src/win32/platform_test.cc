// The Windows platform files, run under Wine: text at the system boundary,
// the environment, the clock, and discovery over Winsock on loopback.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "clock.h"
#include "console.h"
#include "discovery.h"
#include "local_resource.h"
#include "utf8.h"
#include "win32/text.h"

namespace vorbek {
namespace {

using namespace std::chrono_literals;

TEST(Win32Text, Utf16BecomesUtf8AndLoneSurrogatesStayInvalid) {
  EXPECT_EQ(win32::narrow(L"127.0.0.1:9229"), "127.0.0.1:9229");
  EXPECT_EQ(win32::narrow(L"vorbek \u2014 x"), "vorbek \xe2\x80\x94 x");
  EXPECT_EQ(win32::narrow(L"\xd83d\xde00"), "\xf0\x9f\x98\x80");  // a pair is one code point
  for (const wchar_t* lone : {L"a\xd800", L"\xdc00z", L"\xd800\xd800"}) {
    EXPECT_FALSE(is_valid_utf8(win32::narrow(lone)));
  }
  EXPECT_EQ(win32::widen("vorbek \xe2\x80\x94 x"), L"vorbek \u2014 x");
  EXPECT_EQ(win32::widen(""), L"");
}

TEST(Win32Text, SystemErrorsReadLikeEveryOtherOsError) {
  const std::string text = win32::os_error(WSAECONNREFUSED).outermost();
  EXPECT_TRUE(text.ends_with(" (os error 10061)")) << text;
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
  EXPECT_GT(text.size(), std::string(" (os error 10061)").size());
}

TEST(Win32Console, EnvironmentUnsetEmptyAndWide) {
  const char* name = "VORBEK_WIN32_TEST_VARIABLE";
  SetEnvironmentVariableW(L"VORBEK_WIN32_TEST_VARIABLE", nullptr);
  EXPECT_EQ(read_environment(name), std::nullopt);
  SetEnvironmentVariableW(L"VORBEK_WIN32_TEST_VARIABLE", L"");
  EXPECT_EQ(read_environment(name), std::string());
  const std::wstring long_value = L"http://x/\u2014{ws}" + std::wstring(1000, L'a');
  SetEnvironmentVariableW(L"VORBEK_WIN32_TEST_VARIABLE", long_value.c_str());
  EXPECT_EQ(read_environment(name), "http://x/\xe2\x80\x94{ws}" + std::string(1000, 'a'));
  SetEnvironmentVariableW(L"VORBEK_WIN32_TEST_VARIABLE", nullptr);
}

TEST(Win32Clock, PauseLastsAtLeastItsLength) {
  const auto before = monotonic_now();
  sleep_for(150ms);
  EXPECT_GE(monotonic_now() - before, 150ms);
  EXPECT_LE(before, monotonic_now());
}

// One connection at a time on an ephemeral loopback port, each handed to
// `serve` and closed after.
class LoopbackPeer {
 public:
  explicit LoopbackPeer(std::function<void(SOCKET)> serve) : serve_(std::move(serve)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int length = sizeof addr;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length);
    port_ = ntohs(addr.sin_port);
    listen(listener_, 4);
    thread_ = std::thread([this] {
      for (;;) {
        const SOCKET s = accept(listener_, nullptr, nullptr);
        if (s == INVALID_SOCKET) return;  // the listener was closed
        serve_(s);
        closesocket(s);
      }
    });
  }
  ~LoopbackPeer() {
    closesocket(listener_);
    thread_.join();
  }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

  static std::string read_request(SOCKET s) {
    std::string request;
    char buffer[512];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const int n = recv(s, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request.append(buffer, static_cast<size_t>(n));
    }
    return request;
  }
  static void send_text(SOCKET s, const std::string& text) {
    send(s, text.data(), static_cast<int>(text.size()), 0);
  }

 private:
  std::function<void(SOCKET)> serve_;
  SOCKET listener_ = INVALID_SOCKET;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

TEST(Win32Discovery, ReadsTheReplyToTheEndOfTheStream) {
  std::string request;
  LoopbackPeer peer([&](SOCKET s) {
    request = LoopbackPeer::read_request(s);
    LoopbackPeer::send_text(s, "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n");
    LoopbackPeer::send_text(s, R"([{"webSocketDebuggerUrl":"ws://127.0.0.1:9229/abc"}])");
    shutdown(s, SD_SEND);
  });
  auto target = discover_ws_target(peer.address());
  ASSERT_TRUE(target) << format_failure_report(target.error());
  EXPECT_EQ(*target, "127.0.0.1:9229/abc");
  EXPECT_EQ(request, "GET /json HTTP/1.0\r\nHost: " + peer.address() +
                         "\r\nAccept: application/json\r\nConnection: close\r\n\r\n");
}

TEST(Win32Discovery, RefusedAndSilentPeersGiveWinsockErrors) {
  SOCKET probe = socket(AF_INET, SOCK_STREAM, 0);  // a port nothing listens on
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(probe, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int length = sizeof addr;
  getsockname(probe, reinterpret_cast<sockaddr*>(&addr), &length);
  closesocket(probe);
  const std::string refused_at = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
  auto refused = fetch_targets_body(refused_at);
  ASSERT_FALSE(refused);
  ASSERT_EQ(refused.error().messages().size(), 2u);
  EXPECT_EQ(refused.error().messages()[0], "connect to inspector at " + refused_at);
  EXPECT_TRUE(refused.error().messages()[1].ends_with(" (os error 10061)"))
      << refused.error().messages()[1];

  std::atomic<bool> done{false};
  LoopbackPeer silent([&](SOCKET s) {
    LoopbackPeer::read_request(s);
    while (!done) std::this_thread::sleep_for(10ms);
  });
  auto timed_out = fetch_targets_body(silent.address(), 300ms);
  done = true;
  ASSERT_FALSE(timed_out);
  EXPECT_TRUE(timed_out.error().outermost().ends_with(" (os error 10060)"))
      << timed_out.error().outermost();
}

// The frontend names a Windows file as file:///C:/..., its UTF-8 bytes
// percent-encoded, as node writes it.
TEST(Win32LocalResource, DriveUrlsReadTheFileAndSharesAreRefused) {
  wchar_t temp[MAX_PATH] = {};
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring path = std::wstring(temp) + L"vorbek \u00e9t\u00e9.js.map";
  const std::string content = std::string("{\"version\":3}") + '\0' + "\xff";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);

  std::string url = "file:///";
  std::string expected;  // C:/users/...: the drive first, and forward slashes
  for (unsigned char c : win32::narrow(path)) {
    expected += c == '\\' ? '/' : static_cast<char>(c);
    if (c == '\\') {
      url += '/';
    } else if (c == ' ' || c >= 0x80) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      url += escaped;
    } else {
      url += static_cast<char>(c);
    }
  }
  auto path_text = local_path_for_url(url);
  ASSERT_TRUE(path_text) << path_text.error().outermost();
  EXPECT_EQ(*path_text, expected);
  auto read = read_local_resource(url);
  ASSERT_TRUE(read) << describe_for_frontend(read.error());
  EXPECT_EQ(*read, content);
  DeleteFileW(path.c_str());
  auto missing = read_local_resource(url);
  ASSERT_FALSE(missing);
  EXPECT_TRUE(describe_for_frontend(missing.error()).ends_with("(os error 2)"))
      << describe_for_frontend(missing.error());

  // Another machine's share, however the URL spells it; an escaped
  // separator is refused before it could name one.
  for (const char* share : {"file://server/share/a.map", "file:////server/share/a.map"}) {
    auto refused = local_path_for_url(share);
    ASSERT_FALSE(refused) << share << " -> " << *refused;
    EXPECT_EQ(refused.error().outermost(), "the URL names a host, not a local file") << share;
  }
  for (const char* share : {"file:///%5C%5Cserver%5Cshare%5Ca.map", "file:///%5C/server/share/a.map"}) {
    auto refused = local_path_for_url(share);
    ASSERT_FALSE(refused) << share << " -> " << *refused;
    EXPECT_EQ(refused.error().outermost(), "the path contains an escaped separator") << share;
  }
}

}  // namespace
}  // namespace vorbek
