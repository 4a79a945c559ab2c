#include "scheme_handler.h"

#include <algorithm>
#include <array>

#include "frontend_assets.h"

namespace vorbek {

namespace {

constexpr std::string_view ENTRY_PAGE = "js_app.html";
constexpr std::string_view NOT_FOUND_TYPE = "text/plain; charset=utf-8";
constexpr std::array<std::uint8_t, 9> NOT_FOUND_BODY = {'N', 'o', 't', ' ', 'F',
                                                        'o', 'u', 'n', 'd'};

struct ContentType {
  std::string_view extension;
  std::string_view value;
};

constexpr ContentType CONTENT_TYPES[] = {
    {"js", "text/javascript; charset=utf-8"},
    {"mjs", "text/javascript; charset=utf-8"},
    {"md", "text/markdown; charset=utf-8"},
    {"css", "text/css; charset=utf-8"},
    {"svg", "image/svg+xml"},
    {"png", "image/png"},
    {"html", "text/html; charset=utf-8"},
    {"json", "application/json; charset=utf-8"},
    {"avif", "image/avif"},
    {"wasm", "application/wasm"},
    {"woff2", "font/woff2"},
};

constexpr std::string_view DEFAULT_TYPE = "application/octet-stream";

// The path of http://devtools.localhost/PATH?QUERY: after the authority, up
// to the first "?". The query is the frontend's own business.
std::string_view uri_path(std::string_view uri) {
  size_t start = 0;
  const size_t scheme_end = uri.find("://");
  if (scheme_end != std::string_view::npos && scheme_end < uri.find_first_of("/?")) {
    start = uri.find_first_of("/?", scheme_end + 3);
    if (start == std::string_view::npos) start = uri.size();
  }
  const size_t end = uri.find('?', start);
  return uri.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

}  // namespace

std::string_view content_type_for_path(std::string_view path) {
  // The last "." anywhere counts, even in a directory name; no "." at all
  // makes the whole path the extension.
  const size_t dot = path.rfind('.');
  const std::string_view extension = dot == std::string_view::npos ? path : path.substr(dot + 1);
  if (extension.size() < 2 || extension.size() > 5) return DEFAULT_TYPE;
  for (const ContentType& row : CONTENT_TYPES) {
    if (row.extension == extension) return row.value;
  }
  return DEFAULT_TYPE;
}

std::string_view reason_phrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "";
  }
}

void serve_frontend_request(std::string_view /*webview_id*/, HttpRequest request,
                            Responder responder) {
  // Leading slashes go before backslashes become "/" (inside the lookup),
  // so "/\js_app.html" is not the entry page.
  std::string_view path = uri_path(request.uri);
  path.remove_prefix(std::min(path.find_first_not_of('/'), path.size()));
  if (path.empty()) path = ENTRY_PAGE;

  HttpResponse response;
  if (const FrontendAsset* asset = find_frontend_asset(path)) {
    response.status = 200;
    response.headers.emplace_back("content-type", content_type_for_path(path));
    // The page names its whole static module graph up front, so the engine
    // fetches it in one wave instead of one import level per round trip.
    if (std::string_view link = page_preload_link(path); !link.empty()) {
      response.headers.emplace_back("link", link);
    }
    response.body = asset->content;
  } else {
    response.status = 404;
    response.headers.emplace_back("content-type", NOT_FOUND_TYPE);
    response.body = NOT_FOUND_BODY;
  }

  // The request, with its body, is released before the answer goes out, and
  // the responder right after: it is one-shot.
  { HttpRequest done = std::move(request); }
  responder(std::move(response));
  responder = nullptr;
}

}  // namespace vorbek
