#include "link_policy.h"

#include "ascii.h"

namespace vorbek {
namespace {

// "scheme://authority", or empty for a URI without an authority.
std::string_view origin_of(std::string_view uri) {
  std::size_t separator = uri.find("://");
  if (separator == std::string_view::npos || separator == 0) return {};
  std::size_t end = uri.find_first_of("/?#", separator + 3);
  return uri.substr(0, end);
}

bool same_origin(std::string_view frontend_uri, std::string_view target_uri) {
  std::string_view origin = origin_of(frontend_uri);
  return !origin.empty() && equals_ignoring_ascii_case(origin, origin_of(target_uri));
}

}  // namespace

LinkTarget link_target(std::string_view frontend_uri, std::string_view target_uri) {
  if (same_origin(frontend_uri, target_uri)) return LinkTarget::Window;
  // The frontend saves files through blob links of its own origin, and
  // builds some views in blank frames.
  constexpr std::string_view BLOB = "blob:";
  if (starts_with_ignoring_ascii_case(target_uri, BLOB) &&
      same_origin(frontend_uri, target_uri.substr(BLOB.size()))) {
    return LinkTarget::Window;
  }
  if (equals_ignoring_ascii_case(target_uri, "about:blank") ||
      equals_ignoring_ascii_case(target_uri, "about:srcdoc")) {
    return LinkTarget::Window;
  }
  if (starts_with_ignoring_ascii_case(target_uri, "https://") ||
      starts_with_ignoring_ascii_case(target_uri, "http://")) {
    return LinkTarget::Browser;
  }
  return LinkTarget::Refused;
}

}  // namespace vorbek
