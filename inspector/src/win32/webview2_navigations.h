// What the WebView2 web view keeps of its top-level navigations: which ones
// are the program's own, the page of the host's own waiting to be served as
// the document at its address, and the navigations under way, whose
// completion names no address.
//
// The runtime counts a navigation started through its API as the user's,
// raises its NavigationStarting some time after Navigate returns, and names
// its address normalised. So each Navigate of ours waits, under the address
// as the engine will name it, for a new-document navigation to that
// address; once started it is known by its navigation id, which its
// redirects keep, until its NavigationCompleted.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vorbek::webview2 {

// `address` as the engine names it: scheme and host in lower case, a
// non-ASCII host in punycode, the scheme's default port dropped, an empty
// path made "/", and spaces, quotes, angle brackets, backquotes, controls
// and non-ASCII in the rest percent-encoded. The fragment is kept.
std::string engine_form(std::string_view address);

std::string_view without_fragment(std::string_view uri);

// A resource filter for the documents of `address`'s origin,
// "scheme://authority/*". The engine matches filters against the address
// normalised, without its fragment and with a non-ASCII host in punycode,
// so the origin is written that way too.
std::wstring origin_filter(std::string_view address);

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

  // The program navigates to `address` next, to show the host page when
  // `host_page`; `navigate_failed` when the runtime refused at once, so no
  // start will come for it.
  void navigating(std::string address, bool host_page = false);
  void navigate_failed();

  // At NavigationStarting of navigation `id` to `uri`: the address the
  // program asked for, if the navigation is its own. Only a new document
  // (not a reload, not back or forward, not a redirect) can be a Navigate
  // of ours. The host page's own navigation is noted, with the address the
  // engine gives it.
  std::optional<std::string> starting(std::uint64_t id, std::string_view uri, bool new_document);
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
  struct Pending {
    std::string address;  // as the program named it
    std::string key;      // as the engine will, without the fragment
    bool host_page = false;
  };
  std::deque<Pending> pending_;               // Navigate called, not started yet
  std::map<std::uint64_t, std::string> own_;  // started, not completed
  std::optional<HostPage> host_page_;
  std::map<std::uint64_t, StartedNavigation> started_;
};

}  // namespace vorbek::webview2
