#include "win32/webview2_navigations.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "ascii.h"
#include "win32/text.h"

namespace vorbek::webview2 {
namespace {

// The schemes whose addresses the engine gives a host and a path.
bool is_special(std::string_view scheme) {
  return scheme == "http" || scheme == "https" || scheme == "ws" || scheme == "wss" ||
         scheme == "ftp" || scheme == "file";
}

std::string_view default_port(std::string_view scheme) {
  if (scheme == "http" || scheme == "ws") return "80";
  if (scheme == "https" || scheme == "wss") return "443";
  if (scheme == "ftp") return "21";
  return {};
}

// IDNA through the system, which maps case as well; a host it refuses is
// left as it was, and the engine would refuse the address anyway.
std::string host_to_ascii(const std::string& host) {
  if (std::none_of(host.begin(), host.end(), [](char c) { return (c & 0x80) != 0; })) {
    std::string lower = host;
    for (char& c : lower) c = ascii_lower(c);
    return lower;
  }
  const std::wstring wide = win32::widen(host);
  wchar_t ascii[256];
  const int n = IdnToAscii(IDN_ALLOW_UNASSIGNED, wide.c_str(), static_cast<int>(wide.size()),
                           ascii, 256);
  if (n <= 0) return host;
  std::string out = win32::narrow(std::wstring_view(ascii, static_cast<std::size_t>(n)));
  for (char& c : out) c = ascii_lower(c);
  return out;
}

}  // namespace

std::string engine_form(std::string_view address) {
  const std::size_t scheme_end = address.find("://");
  if (scheme_end == std::string_view::npos) return std::string(address);
  std::string scheme(address.substr(0, scheme_end));
  for (char& c : scheme) c = ascii_lower(c);
  const std::size_t authority_start = scheme_end + 3;
  std::size_t authority_end = address.find_first_of("/?#", authority_start);
  if (authority_end == std::string_view::npos) authority_end = address.size();
  std::string_view authority = address.substr(authority_start, authority_end - authority_start);

  std::string out = scheme + "://";
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    out += authority.substr(0, at + 1);
    authority.remove_prefix(at + 1);
  }
  std::string_view host = authority, port;
  const std::size_t bracket = authority.rfind(']');
  const std::size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  out += host_to_ascii(std::string(host));
  if (!port.empty() && port != default_port(scheme)) {
    out += ':';
    out += port;
  }

  std::string_view rest = address.substr(authority_end);
  if (is_special(scheme) && (rest.empty() || rest[0] != '/')) out += '/';
  for (const char c : rest) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte >= 0x7f || std::strchr("\"<>`", c)) {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

std::string_view without_fragment(std::string_view uri) { return uri.substr(0, uri.find('#')); }

std::wstring origin_filter(std::string_view address) {
  const std::string normal = engine_form(address);
  const std::size_t scheme_end = normal.find("://");
  const std::size_t authority_end =
      scheme_end == std::string::npos ? normal.size() : normal.find_first_of("/?#", scheme_end + 3);
  return win32::widen(normal.substr(0, authority_end) + "/*");
}

void NavigationTracker::navigating(std::string address, bool host_page) {
  std::string key(without_fragment(engine_form(address)));
  pending_.push_back({std::move(address), std::move(key), host_page});
  while (pending_.size() > MAX_REMEMBERED) pending_.pop_front();
}

void NavigationTracker::navigate_failed() {
  if (!pending_.empty()) pending_.pop_back();
}

std::optional<std::string> NavigationTracker::starting(std::uint64_t id, std::string_view uri,
                                                       bool new_document) {
  if (auto known = own_.find(id); known != own_.end()) return known->second;  // redirected
  if (!new_document) return std::nullopt;
  // The engine starts navigations in the order they were asked for, so one
  // of ours asked for earlier that has not started by now never will.
  const std::string key(without_fragment(engine_form(uri)));
  const auto match = std::find_if(pending_.begin(), pending_.end(),
                                  [&](const Pending& pending) { return pending.key == key; });
  if (match == pending_.end()) return std::nullopt;
  std::string address = std::move(match->address);
  const bool host_page = match->host_page;
  pending_.erase(pending_.begin(), match + 1);
  if (host_page && host_page_ && !host_page_->navigation &&
      without_fragment(address) == host_page_->address) {
    host_page_->navigation = id;
    host_page_->engine_address = std::string(without_fragment(uri));
  }
  own_[id] = address;
  while (own_.size() > MAX_REMEMBERED) own_.erase(own_.begin());
  return address;
}

void NavigationTracker::remember(std::uint64_t id, StartedNavigation navigation) {
  started_[id] = std::move(navigation);
  while (started_.size() > MAX_REMEMBERED) started_.erase(started_.begin());
}

std::optional<StartedNavigation> NavigationTracker::completed(std::uint64_t id) {
  own_.erase(id);
  auto found = started_.find(id);
  if (found == started_.end()) return std::nullopt;
  StartedNavigation navigation = std::move(found->second);
  started_.erase(found);
  return navigation;
}

bool NavigationTracker::is_host_page_address(std::string_view uri) const {
  if (!host_page_) return false;
  if (host_page_->engine_address) return without_fragment(uri) == *host_page_->engine_address;
  return without_fragment(uri) == without_fragment(engine_form(host_page_->address));
}

bool NavigationTracker::is_host_page_navigation(std::uint64_t id) const {
  return host_page_ && host_page_->navigation == id;
}

std::optional<HostPage> NavigationTracker::take_host_page() {
  return std::exchange(host_page_, std::nullopt);
}

}  // namespace vorbek::webview2
