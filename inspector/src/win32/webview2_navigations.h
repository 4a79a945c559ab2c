// What the WebView2 web view keeps of its top-level navigations: which one
// is the program's own (the runtime counts a navigation started through its
// API as the user's), the page of the host's own waiting to be served as
// the document at its address, and the navigations under way, whose
// completion names no address.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vorbek::webview2 {

// A page of the host's own (crash, failed load), served once as the
// response to the document request for its address, so that the page has
// that address and a reload asks for it again.
struct HostPage {
  std::string address;  // without its fragment, as the engine requests it
  std::shared_ptr<const std::string> html;
  // Our filter for an address outside the frontend origin, while it waits.
  std::optional<std::wstring> filter;
  std::optional<std::uint64_t> navigation;  // its navigation, once started
};

struct StartedNavigation {
  std::string uri;
  bool refused = false;  // by the host, which refused it or took it over
};

class NavigationTracker {
 public:
  // Navigations whose completion never came would pile up; the oldest go.
  static constexpr std::size_t MAX_REMEMBERED = 64;

  // The program navigates to `address` next; `navigate_failed` when the
  // runtime refused at once.
  void navigating(std::string address) { own_ = std::move(address); }
  void navigate_failed() { own_.reset(); }

  // At NavigationStarting: whether navigation `id` to `uri` is the program's
  // own. The host page's own navigation is noted, to know its end.
  bool starting(std::uint64_t id, std::string_view uri);
  void remember(std::uint64_t id, StartedNavigation navigation);
  // At NavigationCompleted: the navigation the host was asked about, if any.
  std::optional<StartedNavigation> completed(std::uint64_t id);

  void set_host_page(HostPage page) { host_page_ = std::move(page); }
  const std::optional<HostPage>& host_page() const { return host_page_; }
  // Whether a document request for `uri` is the host page's.
  bool is_host_page_address(std::string_view uri) const;
  bool is_host_page_navigation(std::uint64_t id) const;
  // The host page, gone from here; its filter is the caller's to remove.
  std::optional<HostPage> take_host_page();

 private:
  std::optional<std::string> own_;
  std::optional<HostPage> host_page_;
  std::map<std::uint64_t, StartedNavigation> started_;
};

std::string_view without_fragment(std::string_view uri);

}  // namespace vorbek::webview2
