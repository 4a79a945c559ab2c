#include "frontend_policy.h"

#include "ascii.h"
#include "frontend_assets.h"

namespace vorbek {
namespace {

bool is_host_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-';
}

bool is_digits(std::string_view text) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// A name or IPv4 address, or an [IPv6] literal.
bool is_plain_host(std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
    if (host.empty()) return false;
    for (char c : host) {
      if (!(c == ':' || c == '.' || (c >= '0' && c <= '9') ||
            (ascii_lower(c) >= 'a' && ascii_lower(c) <= 'f'))) {
        return false;
      }
    }
    return true;
  }
  if (host.empty()) return false;
  for (char c : host) {
    if (!is_host_char(c)) return false;
  }
  return true;
}

}  // namespace

std::string websocket_origin(std::string_view ws_target) {
  std::string_view authority = ws_target.substr(0, ws_target.find_first_of("/?#"));
  std::size_t colon = authority.rfind(':');
  std::string_view host = authority;
  if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
    if (!is_digits(authority.substr(colon + 1))) return {};
    host = authority.substr(0, colon);
  }
  if (!is_plain_host(host)) return {};
  return "ws://" + ascii_lowercase(authority);
}

std::string frontend_content_security_policy(std::string_view path, std::string_view ws_target) {
  std::string scripts = "'self'";
  if (std::string_view hashes = page_inline_script_hashes(path); !hashes.empty()) {
    scripts += ' ';
    scripts += hashes;
  }
  std::string connect = "'self' data:";
  if (std::string origin = websocket_origin(ws_target); !origin.empty()) {
    // A policy's host cannot be an IPv6 literal: such a target is allowed by
    // its scheme here, and the web view's own check keeps it to the target.
    connect += origin.find('[') == std::string::npos ? " " + origin : std::string(" ws:");
  }
  // Styles stay inline: the frontend sets them on its elements throughout.
  return "default-src 'none'; script-src " + scripts + "; worker-src 'self'; style-src 'self' "
         "'unsafe-inline'; img-src 'self' data: blob:; font-src 'self' data: blob:; "
         "media-src 'self' data: blob:; connect-src " + connect +
         "; frame-src 'none'; object-src 'none'; base-uri 'none'; form-action 'none'";
}

bool frontend_may_request(std::string_view uri, std::string_view frontend_origin,
                          std::string_view ws_target) {
  for (std::string_view scheme : {"data:", "blob:", "about:"}) {
    if (starts_with_ignoring_ascii_case(uri, scheme)) return true;
  }
  auto under = [&](std::string_view origin) {
    return !origin.empty() && uri.size() >= origin.size() &&
           equals_ignoring_ascii_case(uri.substr(0, origin.size()), origin) &&
           (uri.size() == origin.size() || uri[origin.size()] == '/');
  };
  if (under(frontend_origin)) return true;
  std::string socket = websocket_origin(ws_target);
  return under(socket);
}

}  // namespace vorbek
