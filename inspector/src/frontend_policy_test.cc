#include "frontend_policy.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "frontend_assets.h"

namespace vorbek {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(FrontendPolicy, TheWebSocketIsTheTargetsAndNothingElse) {
  EXPECT_EQ(websocket_origin("127.0.0.1:9229/0f2c-1e"), "ws://127.0.0.1:9229");
  EXPECT_EQ(websocket_origin("LocalHost:9229/x"), "ws://localhost:9229");
  EXPECT_EQ(websocket_origin("[::1]:9229/x"), "ws://[::1]:9229");
  EXPECT_EQ(websocket_origin("engine.internal/x?y"), "ws://engine.internal");
  // A target that would write into the policy, or into a pattern built
  // from it, gives no WebSocket at all.
  for (const char* hostile : {"a;script-src *:1/x", "a b:1/", "h:1 'unsafe-eval'/", "*:9229/",
                              "h:99999999/", "h:/x", ":9229/x", "[::1;]:1/", "user@h:1/",
                              "h:1\r\nx/", ""}) {
    EXPECT_EQ(websocket_origin(hostile), "") << hostile;
  }
}

TEST(FrontendPolicy, PagesRunOnlyTheirOwnScriptsAndReachOnlyTheTarget) {
  const std::string policy = frontend_content_security_policy("js_app.html", "127.0.0.1:9229/a");
  EXPECT_THAT(policy, HasSubstr("default-src 'none'"));
  EXPECT_THAT(policy, HasSubstr("connect-src 'self' data: ws://127.0.0.1:9229;"));
  // An IPv6 literal cannot be a policy's host; the web view's check confines it.
  EXPECT_THAT(frontend_content_security_policy("js_app.html", "[::1]:9229/a"),
              HasSubstr("connect-src 'self' data: ws:;"));
  EXPECT_THAT(policy, HasSubstr("img-src 'self' data: blob:;"));
  for (const char* closed : {"object-src 'none'", "base-uri 'none'", "form-action 'none'",
                             "frame-src 'none'"}) {
    EXPECT_THAT(policy, HasSubstr(closed));
  }
  EXPECT_THAT(policy, Not(HasSubstr("unsafe-eval")));
  // The entry page's inline script, by the hash the build computed from it.
  const std::string_view hashes = page_inline_script_hashes("js_app.html");
  ASSERT_THAT(std::string(hashes), HasSubstr("'sha256-"));
  EXPECT_THAT(policy, HasSubstr("script-src 'self' " + std::string(hashes) + ";"));
  // A module has no inline scripts; a broken target has no WebSocket.
  const std::string other = frontend_content_security_policy("core/sdk/sdk.js", "a;b:1/");
  EXPECT_THAT(other, HasSubstr("script-src 'self';"));
  EXPECT_THAT(other, HasSubstr("connect-src 'self' data:;"));
}

TEST(FrontendPolicy, RequestsStayWithTheFrontendAndTheTarget) {
  const char* origin = "devtools://localhost";
  const char* target = "127.0.0.1:9229/a";
  for (const char* allowed :
       {"devtools://localhost/core/sdk/sdk.js", "DEVTOOLS://localhost/x", "devtools://localhost",
        "data:image/png;base64,AA", "blob:devtools://localhost/1", "about:blank",
        "ws://127.0.0.1:9229/a", "ws://127.0.0.1:9229/other"}) {
    EXPECT_TRUE(frontend_may_request(allowed, origin, target)) << allowed;
  }
  for (const char* refused :
       {"http://127.0.0.1:9229/json", "https://example.com/map", "file:///etc/passwd",
        "ws://127.0.0.1:92290/a", "ws://127.0.0.1:9229.evil/a", "devtools://localhost.evil/x",
        "wss://127.0.0.1:9229/a", "ws://10.0.0.1:9229/a", "javascript:alert(1)"}) {
    EXPECT_FALSE(frontend_may_request(refused, origin, target)) << refused;
  }
  EXPECT_FALSE(frontend_may_request("ws://a:1/x", origin, "a:1;b/x"));
}

}  // namespace
}  // namespace vorbek
