#include "scheme_handler.h"

#include <gtest/gtest.h>

#include <string>

#include "frontend_assets.h"

namespace vorbek {
namespace {

constexpr std::string_view ORIGIN = "http://devtools.localhost";

std::string_view text(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

HttpResponse serve(std::string uri, std::string method = "GET") {
  HttpRequest request;
  request.method = std::move(method);
  request.uri = std::move(uri);
  request.version = "HTTP/1.1";
  request.headers = {{"accept", "*/*"}};
  int calls = 0;
  HttpResponse answer;
  serve_frontend_request("webview-1", std::move(request), [&](HttpResponse response) {
    ++calls;
    answer = std::move(response);
  });
  EXPECT_EQ(calls, 1) << "the responder must be called exactly once, before returning";
  return answer;
}

void expect_found(const HttpResponse& response, std::string_view path, std::string_view type) {
  const FrontendAsset* asset = find_frontend_asset(path);
  ASSERT_NE(asset, nullptr) << path;
  EXPECT_EQ(response.status, 200) << path;
  // A page with modules also names them for preloading; nothing else does.
  const std::string_view link = page_preload_link(path);
  ASSERT_EQ(response.headers.size(), link.empty() ? 1u : 2u) << path;
  EXPECT_EQ(response.headers[0].first, "content-type");
  EXPECT_EQ(response.headers[0].second, type) << path;
  if (!link.empty()) {
    EXPECT_EQ(response.headers[1].first, "link");
    EXPECT_EQ(response.headers[1].second, link);
  }
  // The table's own bytes, not a copy of them.
  EXPECT_EQ(response.body.data(), asset->content.data()) << path;
  EXPECT_EQ(response.body.size(), asset->content.size()) << path;
}

void expect_not_found(const HttpResponse& response, std::string_view uri) {
  EXPECT_EQ(response.status, 404) << uri;
  ASSERT_EQ(response.headers.size(), 1u) << uri;
  EXPECT_EQ(response.headers[0].first, "content-type");
  EXPECT_EQ(response.headers[0].second, "text/plain; charset=utf-8") << uri;
  EXPECT_EQ(text(response.body), "Not Found") << uri;
}

TEST(SchemeHandlerTest, ServesTheEntryPageWhateverTheQueryOrLeadingSlashes) {
  const HttpResponse page = serve(std::string(ORIGIN) +
                                  "/js_app.html?ws=127.0.0.1:9229/0f2c-41?x=/&experiments=true&v8only=true");
  expect_found(page, "js_app.html", "text/html; charset=utf-8");
  EXPECT_EQ(page.body.size(), 892u);

  for (std::string rest : {"/", "", "///js_app.html", "?ws=1", "/?a=b", "/js_app.html"}) {
    expect_found(serve(std::string(ORIGIN) + rest), "js_app.html", "text/html; charset=utf-8");
  }
}

// The entry page's header names its module graph, root first, and only
// files the table holds: a path that missed would cost a 404 per start.
TEST(SchemeHandlerTest, EntryPagePreloadsItsStaticModuleGraphFromTheTable) {
  const HttpResponse page = serve(std::string(ORIGIN) + "/js_app.html?ws=x");
  ASSERT_EQ(page.headers.size(), 2u);
  const std::string& link = page.headers[1].second;
  EXPECT_EQ(link.rfind("<./entrypoints/js_app/js_app.js>; rel=modulepreload", 0), 0u) << link;
  EXPECT_NE(link.find("<./entrypoints/shell/shell.js>; rel=modulepreload"), std::string::npos);
  EXPECT_NE(link.find("<./core/sdk/sdk.js>; rel=modulepreload"), std::string::npos);
  size_t count = 0;
  for (size_t at = 0; (at = link.find("<./", at)) != std::string::npos; ++count) {
    const size_t end = link.find('>', at);
    ASSERT_NE(end, std::string::npos);
    const std::string path = link.substr(at + 3, end - at - 3);
    EXPECT_NE(find_frontend_asset(path), nullptr) << path;
    EXPECT_EQ(content_type_for_path(path), "text/javascript; charset=utf-8") << path;
    at = end;
  }
  EXPECT_GT(count, 20u);
  // Dynamically imported panels load when opened, not at start.
  EXPECT_EQ(link.find("panels/profiler/"), std::string::npos);
}

TEST(SchemeHandlerTest, ContentTypeFollowsTheExtensionOfEachKind) {
  const std::pair<const char*, const char*> cases[] = {
      {"entrypoints/js_app/js_app.js", "text/javascript; charset=utf-8"},
      {"core/i18n/locales/en-US.json", "application/json; charset=utf-8"},
      {"models/issues_manager/descriptions/deprecation.md", "text/markdown; charset=utf-8"},
      {"Images/3d-center.svg", "image/svg+xml"},
      {"Images/touchCursor.png", "image/png"},
      {"Images/whatsnew.avif", "image/avif"},
  };
  for (const auto& [path, type] : cases) {
    expect_found(serve(std::string(ORIGIN) + "/" + path), path, type);
  }
  // The largest file (in chii 1.15.5) is still served by reference.
  const HttpResponse big = serve(std::string(ORIGIN) + "/third_party/lighthouse/lighthouse-dt-bundle.js");
  expect_found(big, "third_party/lighthouse/lighthouse-dt-bundle.js", "text/javascript; charset=utf-8");
  EXPECT_EQ(big.body.size(), 1948270u);
}

TEST(SchemeHandlerTest, BackslashesAreTurnedIntoSlashesOnlyAfterLeadingSlashesGo) {
  expect_found(serve(std::string(ORIGIN) + "/Images\\3d-center.svg"), "Images/3d-center.svg",
               "image/svg+xml");
  expect_not_found(serve(std::string(ORIGIN) + "/\\js_app.html"), "/\\js_app.html");
}

TEST(SchemeHandlerTest, AnythingElseIsNotFound) {
  for (std::string path : {"/JS_APP.HTML", "/Images/", "/Images", "/Images//3d-center.svg",
                           "/./js_app.html", "/js_app.html/", "/favicon.ico",
                           "/Images/3d%2Dcenter.svg", "/%6As_app.html", "/js_app.html%3F"}) {
    expect_not_found(serve(std::string(ORIGIN) + path), path);
  }
}

TEST(SchemeHandlerTest, TheMethodMakesNoDifference) {
  const HttpResponse get = serve(std::string(ORIGIN) + "/js_app.html");
  for (std::string method : {"POST", "HEAD", "DELETE"}) {
    const HttpResponse other = serve(std::string(ORIGIN) + "/js_app.html", method);
    EXPECT_EQ(other.status, get.status) << method;
    EXPECT_EQ(other.headers, get.headers) << method;
    EXPECT_EQ(other.body.data(), get.body.data()) << method;
    EXPECT_EQ(other.body.size(), get.body.size()) << method;
  }
}

TEST(SchemeHandlerTest, ContentTypeByExtension) {
  constexpr std::string_view JS = "text/javascript; charset=utf-8";
  constexpr std::string_view BYTES = "application/octet-stream";
  const std::pair<const char*, std::string_view> cases[] = {
      {"a.js", JS}, {"a.mjs", JS}, {"a.md", "text/markdown; charset=utf-8"},
      {"a.css", "text/css; charset=utf-8"}, {"a.svg", "image/svg+xml"}, {"a.png", "image/png"},
      {"a.html", "text/html; charset=utf-8"}, {"a.json", "application/json; charset=utf-8"},
      {"a.avif", "image/avif"}, {"a.wasm", "application/wasm"}, {"a.woff2", "font/woff2"},
      // Case-sensitive, and no rows beyond the table.
      {"a.JS", BYTES}, {"a.HTML", BYTES}, {"a.htm", BYTES}, {"a.map", BYTES}, {"a.txt", BYTES},
      {"a.ico", BYTES},
      // The last "." anywhere decides; no "." makes the whole path the extension.
      {"third_party/codemirror.next/codemirror.next.js", JS}, {"dir.js/README", BYTES},
      {"a.svg.js", JS}, {"a.", BYTES}, {"", BYTES}, {"LICENSE", BYTES}, {"js", JS},
      {"woff2", "font/woff2"}, {"woff22", BYTES},
  };
  for (const auto& [path, type] : cases) {
    EXPECT_EQ(content_type_for_path(path), type) << path;
  }
}

TEST(SchemeHandlerTest, ReasonPhrases) {
  EXPECT_EQ(reason_phrase(200), "OK");
  EXPECT_EQ(reason_phrase(400), "Bad Request");
  EXPECT_EQ(reason_phrase(404), "Not Found");
}

}  // namespace
}  // namespace vorbek
