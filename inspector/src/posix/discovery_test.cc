#include "discovery.h"

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "http_reply.h"
#include "posix/test_support.h"

namespace vorbek {
namespace {

using namespace std::chrono_literals;
using testing::FakeInspector;

constexpr DiscoveryTiming FAST{600ms, 50ms, 300ms};

std::vector<std::string> chain(const Error& e) { return e.messages(); }

// Serves `reply` to every connection and closes.
FakeInspector::Serve replying(std::string reply) {
  return [reply](int fd) {
    FakeInspector::read_request(fd);
    FakeInspector::send_text(fd, reply);
  };
}

// Keeps the connection until the client gives up.
void hold_open(int fd) {
  char buffer[256];
  while (recv(fd, buffer, sizeof buffer, 0) > 0) {
  }
}

std::string ok_reply(std::string_view body) { return "HTTP/1.1 200 OK\r\n\r\n" + std::string(body); }

TEST(SelectTarget, TakesElementZerosUrlWithoutScheme) {
  struct Case {
    const char* body;
    const char* target;
  } cases[] = {
      {R"([{"webSocketDebuggerUrl":"ws://127.0.0.1:9229/abc"}])", "127.0.0.1:9229/abc"},
      {R"([{"webSocketDebuggerUrl":"wss://127.0.0.1:9229/abc"}])", "127.0.0.1:9229/abc"},
      {R"([{"webSocketDebuggerUrl":"WS://127.0.0.1:9229/abc"}])", "WS://127.0.0.1:9229/abc"},
      {R"([{"webSocketDebuggerUrl":"127.0.0.1:9229/abc"}])", "127.0.0.1:9229/abc"},
      {R"([{"webSocketDebuggerUrl":"ws://"}])", ""},
      {R"([{"webSocketDebuggerUrl":"ws://ws://x"}])", "ws://x"},
      {R"( [{"webSocketDebuggerUrl":"ws://a\/b\u0026c"}] )", "a/b&c"},
      {R"([{"webSocketDebuggerUrl":"ws://first","webSocketDebuggerUrl":"ws://last"}])", "last"},
      {"\r\n\t[{\"webSocketDebuggerUrl\":\"ws://x\"}, 5, null]\n", "x"},
  };
  for (const auto& c : cases) {
    auto target = select_ws_target(c.body);
    ASSERT_TRUE(target.ok()) << c.body;
    EXPECT_EQ(*target, c.target) << c.body;
  }
}

// The engines' own replies, captured from the pinned binaries: node's
// pretty-printed array, Deno's one line with a "deno" description, workerd's
// named target whose frontend URL points at no target at all.
TEST(SelectTarget, RealEngineReplies) {
  struct Case {
    const char* engine;
    const char* body;
    const char* target;
  } cases[] = {
      {"node 26.12.1", R"([ {
  "description": "node.js instance",
  "devtoolsFrontendUrl": "devtools://devtools/bundled/js_app.html?experiments=true&v8only=true&ws=127.0.0.1:45979/9ab9fd17-159c-4e3a-acd5-74eaef6b1e9a",
  "devtoolsFrontendUrlCompat": "devtools://devtools/bundled/inspector.html?experiments=true&v8only=true&ws=127.0.0.1:45979/9ab9fd17-159c-4e3a-acd5-74eaef6b1e9a",
  "faviconUrl": "https://nodejs.org/static/images/favicons/favicon.ico",
  "id": "9ab9fd17-159c-4e3a-acd5-74eaef6b1e9a",
  "title": "t.js",
  "type": "node",
  "url": "file:///tmp/tmp.KAHLtyXFT9/t.js",
  "webSocketDebuggerUrl": "ws://127.0.0.1:45979/9ab9fd17-159c-4e3a-acd5-74eaef6b1e9a"
} ]
)",
       "127.0.0.1:45979/9ab9fd17-159c-4e3a-acd5-74eaef6b1e9a"},
      {"deno 2.9.6",
       R"([{"description":"deno","devtoolsFrontendUrl":"devtools://devtools/bundled/js_app.html?ws=127.0.0.1:36709/08b838e8-407d-42cd-9b8e-fb626ac70704&experiments=true&v8only=true","faviconUrl":"https://deno.land/favicon.ico","id":"08b838e8-407d-42cd-9b8e-fb626ac70704","title":"deno - main [pid: 7630]","type":"node","url":"file:///tmp/engx/t.js","webSocketDebuggerUrl":"ws://127.0.0.1:36709/08b838e8-407d-42cd-9b8e-fb626ac70704"}])",
       "127.0.0.1:36709/08b838e8-407d-42cd-9b8e-fb626ac70704"},
      {"workerd 2026-12-01",
       R"([{"id":"main","title":"workerd: worker main","type":"node","description":"workerd worker","webSocketDebuggerUrl":"ws://127.0.0.1:9341/main","devtoolsFrontendUrl":"devtools://devtools/bundled/js_app.html?experiments=true&v8only=true&ws=127.0.0.1:9341/","devtoolsFrontendUrlCompat":"devtools://devtools/bundled/inspector.html?experiments=true&v8only=true&ws=127.0.0.1:9341/","faviconUrl":"https://workers.cloudflare.com/favicon.ico","url":"https://workers.dev"}])",
       "127.0.0.1:9341/main"},
  };
  for (const auto& c : cases) {
    auto target = select_ws_target(c.body);
    ASSERT_TRUE(target.ok()) << c.engine;
    EXPECT_EQ(*target, c.target) << c.engine;
  }
}

TEST(SelectTarget, NoUsableTargetQuotesBody) {
  for (const char* body : {
           "[]", R"({"webSocketDebuggerUrl":"ws://x"})",
           R"([{"id":1},{"webSocketDebuggerUrl":"ws://x"}])", R"([{"webSocketDebuggerUrl":null}])",
           R"([{"webSocketDebuggerUrl":5}])", R"([{"websocketdebuggerurl":"ws://x"}])",
           R"(["ws://x"])", R"("ws://x")", "  [ ]  "}) {
    auto target = select_ws_target(body);
    ASSERT_FALSE(target.ok()) << body;
    EXPECT_EQ(chain(target.error()),
              std::vector<std::string>{std::string("no webSocketDebuggerUrl in inspector /json: ") + body});
  }
}

TEST(SelectTarget, InvalidJsonNamesLineAndColumn) {
  for (const char* body : {"", "[", "[] x", "[]\n[]", "\v[]", "[{\"a\":1,}]"}) {
    auto target = select_ws_target(body);
    ASSERT_FALSE(target.ok()) << body;
    ASSERT_EQ(target.error().messages().size(), 2u);
    EXPECT_EQ(target.error().outermost(), "inspector /json was not valid JSON");
    EXPECT_NE(target.error().messages()[1].find("line "), std::string::npos);
    EXPECT_NE(target.error().messages()[1].find("column "), std::string::npos);
  }
}

TEST(Reply, StatusLineAndBody) {
  EXPECT_EQ(*body_from_reply("HTTP/1.1 200 OK\r\nA: b\r\n\r\n[1]"), "[1]");
  EXPECT_EQ(*body_from_reply("HTTP/1.1 2000 X\r\n\r\n"), "");
  EXPECT_EQ(*body_from_reply("xx200\r\n\r\nbody\r\n\r\nmore"), "body\r\n\r\nmore");

  auto non200 = [](std::string_view reply) {
    auto body = body_from_reply(reply);
    return body ? std::string("accepted") : body.error().outermost();
  };
  EXPECT_EQ(non200("HTTP/1.1 404 Not Found\r\n\r\n"), "inspector returned non-200: HTTP/1.1 404 Not Found");
  EXPECT_EQ(non200("\r\n\r\n[]"), "inspector returned non-200: ");
  // Only the first line counts, less one CR.
  EXPECT_EQ(non200("HTTP/1.1 500 X\r\r\nA: 200\r\n\r\n"), "inspector returned non-200: HTTP/1.1 500 X\r");
  EXPECT_EQ(non200("HTTP/1.1 200 OK\n\n[]"), "malformed HTTP response from inspector");
  EXPECT_EQ(non200(""), "malformed HTTP response from inspector");
  EXPECT_EQ(non200("HTTP/1.1 200 OK\r\n\r\n\xff"), "stream did not contain valid UTF-8");
}

TEST(Reply, CompleteAtContentLength) {
  EXPECT_EQ(complete_reply_length("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n[]"), 40u);
  EXPECT_EQ(complete_reply_length("HTTP/1.1 200 OK\r\ncontent-LENGTH:\t 2 \r\n\r\n[]xyz"), 42u);
  EXPECT_EQ(complete_reply_length("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"), 38u);
  for (const char* partial : {
           "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n[]",  // body incomplete
           "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n",        // headers incomplete
           "HTTP/1.1 200 OK\r\n\r\n[]",                       // no length
           "HTTP/1.1 200 OK\r\nContent-Length: +2\r\n\r\n[]",
           "HTTP/1.1 200 OK\r\nContent-Length: 2 2\r\n\r\n[]",
           "HTTP/1.1 200 OK\r\nContent-Length: \r\n\r\n[]",
           "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\n[]",
           "HTTP/1.1 200 OK\r\nX-Content-Length: 2\r\n\r\n[]",
           "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n[]",
           "Content-Length: 0\r\n\r\n",  // a status line, not a header
       }) {
    EXPECT_FALSE(complete_reply_length(partial).has_value()) << partial;
  }
  EXPECT_EQ(build_targets_request("h:1"),
            "GET /json HTTP/1.0\r\nHost: h:1\r\nAccept: application/json\r\nConnection: close\r\n\r\n");
}

// Against a fake inspector on loopback.

TEST(Discovery, FindsTargetAndSendsTheRequest) {
  std::string request;
  FakeInspector peer([&](int fd) {
    request = FakeInspector::read_request(fd);
    FakeInspector::send_text(fd, ok_reply(R"([{"webSocketDebuggerUrl":"ws://127.0.0.1:1/abc"}])"));
  });
  auto target = discover_inspector_target(peer.address(), FAST);
  ASSERT_TRUE(target.ok()) << format_failure_report(target.error());
  EXPECT_EQ(target->ws_target, "127.0.0.1:1/abc");
  // Reached on loopback, so the engine's file:// paths are this machine's.
  EXPECT_TRUE(target->on_this_machine);
  EXPECT_EQ(request, build_targets_request(peer.address()));
}

TEST(Discovery, StopsAtContentLengthWhenPeerKeepsConnection) {
  const std::string body = R"([{"webSocketDebuggerUrl":"ws://h/x"}])";
  FakeInspector peer([&](int fd) {
    FakeInspector::read_request(fd);
    FakeInspector::send_text(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                     "\r\n\r\n" + body + "trailing junk \xff");
    hold_open(fd);
  });
  auto target = discover_ws_target(peer.address(), DiscoveryTiming{0ms, 50ms, 10s});
  ASSERT_TRUE(target.ok()) << format_failure_report(target.error());
  EXPECT_EQ(*target, "h/x");
}

TEST(Discovery, RepeatedFailuresReportTheLastAttemptAfterDeadline) {
  struct Case {
    std::string reply;
    std::string cause;
  } cases[] = {
      {"HTTP/1.1 404 Not Found\r\n\r\n", "inspector returned non-200: HTTP/1.1 404 Not Found"},
      {"HTTP/1.1 200 OK\n\n[]", "malformed HTTP response from inspector"},
      {"HTTP/1.1 200 OK\r\n[]", "malformed HTTP response from inspector"},
      {"", "malformed HTTP response from inspector"},
      {"HTTP/1.1 200 OK\r\n\r\n[\"\xc3\"]", "stream did not contain valid UTF-8"},
  };
  for (const auto& c : cases) {
    FakeInspector peer(replying(c.reply));
    const auto started = std::chrono::steady_clock::now();
    auto target = discover_ws_target(peer.address(), FAST);
    ASSERT_FALSE(target.ok());
    EXPECT_EQ(chain(target.error()),
              (std::vector<std::string>{"failed to read inspector targets from http://" +
                                            peer.address() + "/json",
                                        c.cause}));
    EXPECT_GE(std::chrono::steady_clock::now() - started, FAST.deadline);
    EXPECT_GT(peer.connections(), 2);
  }
}

TEST(Discovery, JsonFailuresAreNotRepeated) {
  FakeInspector empty(replying(ok_reply("[]")));
  auto target = discover_ws_target(empty.address(), DiscoveryTiming{10s, 50ms, 1s});
  ASSERT_FALSE(target.ok());
  EXPECT_EQ(chain(target.error()),
            (std::vector<std::string>{
                "failed to read inspector targets from http://" + empty.address() + "/json",
                "no webSocketDebuggerUrl in inspector /json: []"}));
  EXPECT_EQ(empty.connections(), 1);

  FakeInspector invalid(replying(ok_reply("")));
  target = discover_ws_target(invalid.address(), DiscoveryTiming{10s, 50ms, 1s});
  ASSERT_FALSE(target.ok());
  ASSERT_EQ(target.error().messages().size(), 3u);
  EXPECT_EQ(target.error().messages()[1], "inspector /json was not valid JSON");
  EXPECT_EQ(invalid.connections(), 1);
}

TEST(Discovery, ConnectionFailures) {
  const std::string refused = "127.0.0.1:" + std::to_string(testing::unused_port());
  auto target = discover_ws_target(refused, FAST);
  ASSERT_FALSE(target.ok());
  EXPECT_EQ(chain(target.error()),
            (std::vector<std::string>{"failed to read inspector targets from http://" + refused + "/json",
                                      "connect to inspector at " + refused,
                                      "Connection refused (os error 111)"}));

  for (auto [address, cause] : {std::pair{"127.0.0.1", "invalid socket address"},
                                std::pair{"", "invalid socket address"},
                                std::pair{"127.0.0.1:65536", "invalid port value"},
                                std::pair{"127.0.0.1:", "invalid port value"}}) {
    const auto started = std::chrono::steady_clock::now();
    target = discover_ws_target(address, FAST);
    ASSERT_FALSE(target.ok());
    EXPECT_EQ(chain(target.error()),
              (std::vector<std::string>{std::string("failed to read inspector targets from http://") +
                                            address + "/json",
                                        std::string("connect to inspector at ") + address, cause}));
    // Even an address that can never work waits for the deadline.
    EXPECT_GE(std::chrono::steady_clock::now() - started, FAST.deadline);
  }
}

TEST(Discovery, SignedPortGoesThroughTheResolver) {
  FakeInspector peer(replying(ok_reply(R"([{"webSocketDebuggerUrl":"ws://x"}])")));
  auto target = discover_ws_target("127.0.0.1:+" + std::to_string(peer.port()), FAST);
  ASSERT_TRUE(target.ok()) << format_failure_report(target.error());
  EXPECT_EQ(*target, "x");
}

TEST(Discovery, PeerThatNeverClosesTimesOut) {
  FakeInspector peer([](int fd) {
    FakeInspector::read_request(fd);
    FakeInspector::send_text(fd, ok_reply("[]"));
    hold_open(fd);
  });
  auto target = discover_ws_target(peer.address(), DiscoveryTiming{0ms, 50ms, 200ms});
  ASSERT_FALSE(target.ok());
  EXPECT_EQ(target.error().messages().back(), "Resource temporarily unavailable (os error 11)");
}

TEST(Discovery, LateListenerIsFoundOnARetry) {
  const std::uint16_t port = testing::unused_port();
  std::unique_ptr<FakeInspector> peer;
  std::thread starter([&] {
    std::this_thread::sleep_for(300ms);
    peer = std::make_unique<FakeInspector>(replying(ok_reply(R"([{"webSocketDebuggerUrl":"ws://late"}])")),
                                           port);
  });
  auto target = discover_ws_target("127.0.0.1:" + std::to_string(port), DiscoveryTiming{5s, 50ms, 1s});
  starter.join();
  ASSERT_TRUE(target.ok()) << format_failure_report(target.error());
  EXPECT_EQ(*target, "late");
}

TEST(Discovery, OversizedReplyIsRefused) {
  FakeInspector peer([](int fd) {
    FakeInspector::read_request(fd);
    const std::string chunk(1 << 20, ' ');
    FakeInspector::send_text(fd, "HTTP/1.1 200 OK\r\n\r\n[");
    for (int i = 0; i < 65; ++i) FakeInspector::send_text(fd, chunk);
  });
  auto body = fetch_targets_body(peer.address(), 2s);
  ASSERT_FALSE(body.ok());
  EXPECT_EQ(chain(body.error()), std::vector<std::string>{"inspector reply exceeds 67108864 bytes"});
}

}  // namespace
}  // namespace vorbek
