#include "win32/webview2_navigations.h"

#include <utility>

#include "ascii.h"

namespace vorbek::webview2 {

std::string_view without_fragment(std::string_view uri) { return uri.substr(0, uri.find('#')); }

bool NavigationTracker::starting(std::uint64_t id, std::string_view uri) {
  if (!own_ || !equals_ignoring_ascii_case(uri, *own_)) return false;
  own_.reset();
  if (host_page_ && without_fragment(uri) == host_page_->address) host_page_->navigation = id;
  return true;
}

void NavigationTracker::remember(std::uint64_t id, StartedNavigation navigation) {
  started_[id] = std::move(navigation);
  while (started_.size() > MAX_REMEMBERED) started_.erase(started_.begin());
}

std::optional<StartedNavigation> NavigationTracker::completed(std::uint64_t id) {
  auto found = started_.find(id);
  if (found == started_.end()) return std::nullopt;
  StartedNavigation navigation = std::move(found->second);
  started_.erase(found);
  return navigation;
}

bool NavigationTracker::is_host_page_address(std::string_view uri) const {
  return host_page_ && without_fragment(uri) == host_page_->address;
}

bool NavigationTracker::is_host_page_navigation(std::uint64_t id) const {
  return host_page_ && host_page_->navigation == id;
}

std::optional<HostPage> NavigationTracker::take_host_page() {
  return std::exchange(host_page_, std::nullopt);
}

}  // namespace vorbek::webview2
