#include "url_rewrite.h"

#include "ascii.h"
#include "frontend_url.h"

namespace vorbek {
namespace {

constexpr std::string_view ENGINE_PREFIX = "devtools://";

}  // namespace

std::string engine_url_for(std::string_view frontend_url) {
  if (!starts_with_ignoring_ascii_case(frontend_url, FRONTEND_ORIGIN_PREFIX)) {
    // devtools://... is already in the engine's form; anything else is
    // loaded from its own origin.
    return std::string(frontend_url);
  }
  std::string url(ENGINE_PREFIX);
  url += frontend_url.substr(FRONTEND_ORIGIN_PREFIX.size());
  return url;
}

std::string frontend_url_for_request(std::string_view engine_uri) {
  if (!starts_with_ignoring_ascii_case(engine_uri, ENGINE_PREFIX)) return std::string(engine_uri);
  std::string url(FRONTEND_ORIGIN_PREFIX);
  url += engine_uri.substr(ENGINE_PREFIX.size());
  return url;
}

std::string http_frontend_url_for(std::string_view frontend_url) {
  // Case-sensitive, and only the scheme: a "devtools://" later in the URL
  // belongs to its path or query.
  if (!frontend_url.starts_with(ENGINE_PREFIX)) return std::string(frontend_url);
  std::string url(FRONTEND_ORIGIN_PREFIX);
  url += frontend_url.substr(ENGINE_PREFIX.size());
  return url;
}

}  // namespace vorbek
