// Answers the web view's requests for the embedded frontend.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorbek {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// A request as the web view layer hands it over; the uri is the full URL in
// its http://devtools.HOST/PATH form.
struct HttpRequest {
  std::string method;
  std::string uri;
  std::string version;
  HeaderList headers;
  std::vector<std::uint8_t> body;
};

struct HttpResponse {
  int status = 0;
  HeaderList headers;
  // Refers to static storage that outlives the response; never owned.
  std::span<const std::uint8_t> body;
};

// One-shot: the handler calls it exactly once before it returns.
using Responder = std::function<void(HttpResponse)>;

void serve_frontend_request(std::string_view webview_id, HttpRequest request,
                            Responder responder);

std::string_view content_type_for_path(std::string_view path);

// "OK", "Not Found", ...: what the engine side sends with a status.
std::string_view reason_phrase(int status);

}  // namespace vorbek
