// What the WebView2 web view keeps of its top-level navigations: which one
// is the program's own, the page of the host's own waiting to be served as
// the document at its address, and the navigations under way, whose
// completion names no address.
//
// The runtime counts a navigation started through its API as the user's,
// and names its address canonicalised (percent-encoded, for one), so the
// program's own navigation is the first to start after its Navigate, and
// after that the one with that navigation's id, which its redirects keep.
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
  std::string address;  // without its fragment, as the host named it
  // The address as the engine names it, once its navigation has started.
  std::optional<std::string> engine_address;
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
  void navigating(std::string address) { pending_ = std::move(address); }
  void navigate_failed() { pending_.reset(); }

  // At NavigationStarting of navigation `id` to `uri`: the address the
  // program asked for, if the navigation is its own. The host page's own
  // navigation is noted, with the address the engine gives it.
  std::optional<std::string> starting(std::uint64_t id, std::string_view uri);
  void remember(std::uint64_t id, StartedNavigation navigation);
  // At NavigationCompleted: the navigation the host was asked about, if any;
  // the program's own is named by the address the program asked for.
  std::optional<StartedNavigation> completed(std::uint64_t id);

  void set_host_page(HostPage page) { host_page_ = std::move(page); }
  const std::optional<HostPage>& host_page() const { return host_page_; }
  // Whether a document request for `uri` is the host page's.
  bool is_host_page_address(std::string_view uri) const;
  bool is_host_page_navigation(std::uint64_t id) const;
  // The host page, gone from here; its filter is the caller's to remove.
  std::optional<HostPage> take_host_page();

 private:
  struct Own {
    std::uint64_t id = 0;
    std::string address;
  };
  std::optional<std::string> pending_;  // Navigate called, nothing started yet
  std::optional<Own> own_;
  std::optional<HostPage> host_page_;
  std::map<std::uint64_t, StartedNavigation> started_;
};

std::string_view without_fragment(std::string_view uri);

}  // namespace vorbek::webview2
