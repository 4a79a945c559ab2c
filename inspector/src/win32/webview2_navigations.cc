#include "win32/webview2_navigations.h"

#include <utility>

namespace vorbek::webview2 {

std::string_view without_fragment(std::string_view uri) { return uri.substr(0, uri.find('#')); }

std::optional<std::string> NavigationTracker::starting(std::uint64_t id, std::string_view uri) {
  if (pending_) {
    own_ = Own{id, std::move(*pending_)};
    pending_.reset();
    if (host_page_ && !host_page_->navigation &&
        without_fragment(own_->address) == host_page_->address) {
      host_page_->navigation = id;
      host_page_->engine_address = std::string(without_fragment(uri));
    }
    return own_->address;
  }
  if (own_ && own_->id == id) return own_->address;  // redirected
  return std::nullopt;
}

void NavigationTracker::remember(std::uint64_t id, StartedNavigation navigation) {
  started_[id] = std::move(navigation);
  while (started_.size() > MAX_REMEMBERED) started_.erase(started_.begin());
}

std::optional<StartedNavigation> NavigationTracker::completed(std::uint64_t id) {
  if (own_ && own_->id == id) own_.reset();
  auto found = started_.find(id);
  if (found == started_.end()) return std::nullopt;
  StartedNavigation navigation = std::move(found->second);
  started_.erase(found);
  return navigation;
}

bool NavigationTracker::is_host_page_address(std::string_view uri) const {
  if (!host_page_) return false;
  return without_fragment(uri) == host_page_->engine_address.value_or(host_page_->address);
}

bool NavigationTracker::is_host_page_navigation(std::uint64_t id) const {
  return host_page_ && host_page_->navigation == id;
}

std::optional<HostPage> NavigationTracker::take_host_page() {
  return std::exchange(host_page_, std::nullopt);
}

}  // namespace vorbek::webview2
