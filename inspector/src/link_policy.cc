#include "link_policy.h"

#include <algorithm>
#include <iterator>

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

namespace {

// The Fetch standard's bad ports, sorted.
constexpr int BAD_PORTS[] = {
    1,    7,    9,    11,   13,   15,   17,   19,   20,   21,   22,   23,   25,   37,
    42,   43,   53,   69,   77,   79,   87,   95,   101,  102,  103,  104,  109,  110,
    111,  113,  115,  117,  119,  123,  135,  137,  139,  143,  161,  179,  389,  427,
    465,  512,  513,  514,  515,  526,  530,  531,  532,  540,  548,  554,  556,  563,
    587,  601,  636,  989,  990,  993,  995,  1719, 1720, 1723, 2049, 3659, 4045, 4190,
    5060, 5061, 6000, 6566, 6665, 6666, 6667, 6668, 6669, 6679, 6697, 10080};

bool is_bad_port(long port) {
  return port == 0 || std::binary_search(std::begin(BAD_PORTS), std::end(BAD_PORTS), port);
}

}  // namespace

bool uses_blocked_port(std::string_view uri) {
  std::string_view authority = origin_of(uri);
  if (!starts_with_ignoring_ascii_case(authority, "http://") &&
      !starts_with_ignoring_ascii_case(authority, "https://")) {
    return false;
  }
  authority.remove_prefix(authority.find("://") + 3);
  if (std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  std::size_t colon = authority.rfind(':');
  // No port, or a colon inside an IPv6 address: the scheme's own port.
  if (colon == std::string_view::npos || authority.find(']', colon) != std::string_view::npos) {
    return false;
  }
  std::string_view digits = authority.substr(colon + 1);
  if (digits.empty()) return false;
  long port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;  // the engine rejects the URL itself
    port = port * 10 + (c - '0');
    if (port > 65535) return false;
  }
  return is_bad_port(port);
}

}  // namespace vorbek
