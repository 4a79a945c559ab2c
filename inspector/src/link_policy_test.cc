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

}  // namespace
}  // namespace vorbek
