#include "link_policy.h"

#include <gtest/gtest.h>

namespace vorbek {
namespace {

constexpr const char* FRONTEND = "devtools://localhost/js_app.html?ws=127.0.0.1:9229/ab&v8only=true";

TEST(LinkTarget, TheFrontendsOwnPagesStayInTheWindow) {
  for (const char* uri : {
           "devtools://localhost/js_app.html?ws=127.0.0.1:9229/ab",
           "DEVTOOLS://LocalHost/other.html",
           "devtools://localhost",
           "devtools://localhost?x#y",
           "blob:devtools://localhost/5f0c-11",
           "about:blank",
           "about:srcdoc",
       }) {
    EXPECT_EQ(link_target(FRONTEND, uri), LinkTarget::Window) << uri;
  }
  // An overriding frontend on loopback HTTP keeps its own origin, port included.
  EXPECT_EQ(link_target("http://127.0.0.1:8000/js_app.html", "http://127.0.0.1:8000/a.js"),
            LinkTarget::Window);
}

TEST(LinkTarget, WebLinksGoToTheBrowser) {
  for (const char* uri : {
           "https://developer.chrome.com/docs/devtools/",
           "HTTP://example.org/",
           // A longer host or another port is another origin.
           "http://127.0.0.1:8001/js_app.html",
       }) {
    EXPECT_EQ(link_target("http://127.0.0.1:8000/js_app.html", uri), LinkTarget::Browser) << uri;
  }
  EXPECT_EQ(link_target(FRONTEND, "https://localhost/js_app.html"), LinkTarget::Browser);
}

TEST(LinkTarget, EverythingElseIsRefused) {
  for (const char* uri : {
           "devtools://localhost.evil/",
           "devtools://other/js_app.html",
           "blob:https://example.org/5f0c",
           "file:///etc/passwd",
           "javascript:alert(1)",
           "data:text/html,<p>x</p>",
           "about:config",
           "mailto:someone@example.org",
           "",
       }) {
    EXPECT_EQ(link_target(FRONTEND, uri), LinkTarget::Refused) << uri;
  }
  // Nothing is the frontend's origin when the frontend has none.
  EXPECT_EQ(link_target("", "devtools://localhost/"), LinkTarget::Refused);
}

TEST(UsesBlockedPort, TheBadPortsOfHttpOnly) {
  for (const char* uri : {
           "http://127.0.0.1:1/x?ws={ws}",
           "HTTPS://example.org:6000/",
           "http://127.0.0.1:0/",
           "http://127.0.0.1:10080",
           "http://user:pw@127.0.0.1:25/x",
           "http://[::1]:22/x",
           "http://127.0.0.1:0001/",
       }) {
    EXPECT_TRUE(uses_blocked_port(uri)) << uri;
  }
  for (const char* uri : {
           "http://127.0.0.1:2/x",
           "http://127.0.0.1:65535/",
           "http://127.0.0.1/x?port=:1",
           "http://[::1]/x",
           "http://127.0.0.1:/",
           "http://127.0.0.1:99999/",
           "http://u:1@127.0.0.1:8000/",
           "devtools://localhost:1/js_app.html",
           "file:///tmp/a:1",
           "",
       }) {
    EXPECT_FALSE(uses_blocked_port(uri)) << uri;
  }
}

}  // namespace
}  // namespace vorbek
