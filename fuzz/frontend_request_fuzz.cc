// The scheme handler and the content-type choice on arbitrary request paths.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "frontend_assets.h"
#include "fuzz_check.h"
#include "scheme_handler.h"

namespace {

using vorbek::FrontendAsset;
using vorbek::FRONTEND_ASSETS;

constexpr std::string_view TYPES[] = {
    "text/javascript; charset=utf-8", "text/markdown; charset=utf-8", "text/css; charset=utf-8",
    "image/svg+xml", "image/png", "text/html; charset=utf-8", "application/json; charset=utf-8",
    "image/avif", "application/wasm", "font/woff2", "application/octet-stream",
};

std::string slashes_for_backslashes(std::string_view key) {
  std::string copy(key);
  std::replace(copy.begin(), copy.end(), '\\', '/');
  return copy;
}

// The lookup agrees with a plain scan of the table.
void check_lookup(std::string_view key) {
  const std::string wanted = slashes_for_backslashes(key);
  const FrontendAsset* scanned = nullptr;
  for (const FrontendAsset& asset : FRONTEND_ASSETS) {
    if (asset.path == wanted) scanned = &asset;
  }
  FUZZ_CHECK(vorbek::find_frontend_asset(key) == scanned);
}

void check_content_type(std::string_view path) {
  const std::string_view type = vorbek::content_type_for_path(path);
  FUZZ_CHECK(std::find(std::begin(TYPES), std::end(TYPES), type) != std::end(TYPES));
  if (type == "application/octet-stream") return;
  // A listed type means the text after the last "." (or the whole dotless
  // path) is a listed extension of two to five bytes.
  const size_t dot = path.rfind('.');
  const std::string_view extension = dot == std::string_view::npos ? path : path.substr(dot + 1);
  FUZZ_CHECK(extension.size() >= 2 && extension.size() <= 5);
}

bool inside_table(std::span<const std::uint8_t> body, const FrontendAsset** owner) {
  for (const FrontendAsset& asset : FRONTEND_ASSETS) {
    if (body.data() == asset.content.data() && body.size() == asset.content.size()) {
      *owner = &asset;
      return true;
    }
  }
  return false;
}

void check_request(std::string uri, std::string method) {
  vorbek::HttpRequest request;
  request.method = std::move(method);
  request.uri = uri;
  int calls = 0;
  vorbek::HttpResponse answer;
  vorbek::serve_frontend_request("webview", std::move(request), [&](vorbek::HttpResponse r) {
    ++calls;
    answer = std::move(r);
  });
  FUZZ_CHECK(calls == 1);
  // An entry page also names its module graph in a link header.
  FUZZ_CHECK(!answer.headers.empty() && answer.headers[0].first == "content-type");
  FUZZ_CHECK(answer.headers.size() == 1 ||
             (answer.status == 200 && answer.headers.size() == 2 && answer.headers[1].first == "link"));
  if (answer.status == 404) {
    FUZZ_CHECK(answer.headers[0].second == "text/plain; charset=utf-8");
    FUZZ_CHECK(std::string_view(reinterpret_cast<const char*>(answer.body.data()),
                                answer.body.size()) == "Not Found");
    return;
  }
  FUZZ_CHECK(answer.status == 200);
  const FrontendAsset* asset = nullptr;
  FUZZ_CHECK(inside_table(answer.body, &asset));
  FUZZ_CHECK(answer.headers[0].second == vorbek::content_type_for_path(asset->path));
  // The served file is named in the URI, or is the entry page of an empty path.
  const std::string normalised = slashes_for_backslashes(uri);
  FUZZ_CHECK(normalised.find(asset->path) != std::string::npos || asset->path == "js_app.html");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  check_lookup(input);
  check_content_type(input);
  check_request("http://devtools.localhost/" + std::string(input), "GET");
  check_request(std::string(input), "POST");
  return 0;
}
