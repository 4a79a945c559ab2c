#include "url_rewrite.h"

#include <cstddef>

namespace vorbek {
namespace {

constexpr std::string_view HTTP_FRONTEND_PREFIX = "http://devtools.";
constexpr std::string_view ENGINE_PREFIX = "devtools://";

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Scheme and host are case-insensitive, so HTTP://DevTools.x is the same origin.
bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (ascii_lower(text[i]) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::string engine_url_for(std::string_view frontend_url) {
  if (!starts_with_ignoring_case(frontend_url, HTTP_FRONTEND_PREFIX)) {
    // devtools://... is already in the engine's form; anything else is
    // loaded from its own origin.
    return std::string(frontend_url);
  }
  std::string url(ENGINE_PREFIX);
  url += frontend_url.substr(HTTP_FRONTEND_PREFIX.size());
  return url;
}

std::string frontend_url_for_request(std::string_view engine_uri) {
  if (!starts_with_ignoring_case(engine_uri, ENGINE_PREFIX)) return std::string(engine_uri);
  std::string url(HTTP_FRONTEND_PREFIX);
  url += engine_uri.substr(ENGINE_PREFIX.size());
  return url;
}

}  // namespace vorbek
