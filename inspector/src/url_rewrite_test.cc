#include "url_rewrite.h"

#include <gtest/gtest.h>

namespace vorbek {
namespace {

TEST(EngineUrl, FrontendOriginIsServedUnderTheCustomScheme) {
  EXPECT_EQ(engine_url_for("http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/ab-12"
                           "&experiments=true&v8only=true"),
            "devtools://localhost/js_app.html?ws=127.0.0.1:9229/ab-12"
            "&experiments=true&v8only=true");
  // Only the first host label is fixed.
  EXPECT_EQ(engine_url_for("http://devtools.example.org:8080/a"), "devtools://example.org:8080/a");
  // Scheme and host are case-insensitive.
  EXPECT_EQ(engine_url_for("HTTP://DevTools.localhost/x"), "devtools://localhost/x");
}

TEST(EngineUrl, OtherUrlsAreLoadedAsTheyStand) {
  for (const char* url : {
           "devtools://localhost/js_app.html?ws=h:1/x",
           "http://localhost:8000/js_app.html?ws=h:1/x",
           "https://devtools.localhost/js_app.html",  // only http is the frontend origin
           "http://devtoolsx.localhost/",
           "http://my.devtools.localhost/",
           "http://devtools/",  // no dot: not a devtools.* host
           "file:///tmp/js_app.html",
           "",
       }) {
    EXPECT_EQ(engine_url_for(url), url);
  }
  // Later occurrences are part of the address, not an origin.
  EXPECT_EQ(engine_url_for("http://x/?u=http://devtools.localhost/"),
            "http://x/?u=http://devtools.localhost/");
}

TEST(RequestUrl, ComesBackInTheFrontendForm) {
  for (const char* url : {
           "http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/ab&v8only=true",
           "http://devtools.localhost/Images/3d-center.svg",
           "http://devtools.localhost/",
           "http://devtools.other.host/core/i18n/locales/en-US.json",
       }) {
    EXPECT_EQ(frontend_url_for_request(engine_url_for(url)), url);
  }
  EXPECT_EQ(frontend_url_for_request("devtools://localhost"), "http://devtools.localhost");
  EXPECT_EQ(frontend_url_for_request("https://elsewhere/"), "https://elsewhere/");
}

TEST(HttpFrontendUrl, CustomSchemeUrlsTakeTheHttpOrigin) {
  EXPECT_EQ(http_frontend_url_for("devtools://localhost/js_app.html?ws=127.0.0.1:9229/ab"),
            "http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/ab");
  EXPECT_EQ(http_frontend_url_for("devtools://other.host:81/Images/x.svg"),
            "http://devtools.other.host:81/Images/x.svg");
  // Only the scheme is rewritten; the same text in the query is the page's.
  EXPECT_EQ(http_frontend_url_for("devtools://localhost/js_app.html?back=devtools://x/"),
            "http://devtools.localhost/js_app.html?back=devtools://x/");
  for (const char* url : {
           "http://devtools.localhost/js_app.html?ws=h:1/x",
           "DevTools://localhost/js_app.html",  // the scheme is compared exactly
           "devtoolsx://localhost/",
           "http://localhost:8000/?u=devtools://localhost/",
           "devtools:/localhost/",
           "",
       }) {
    EXPECT_EQ(http_frontend_url_for(url), url);
  }
}

}  // namespace
}  // namespace vorbek
