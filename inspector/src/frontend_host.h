// The frontend's host, the same on every web engine. It answers what the
// page asks of it (a file:// resource, the clipboard, a link for the user's
// browser, a reconnect) and reacts to what the engine reports (a navigation
// to decide, the page's process ending, a load failing). What only the
// web view can do goes through HostBackend; each web view file implements it
// and carries the messages and the engine's events, nothing more.
//
// A request is JSON text, one object naming the request:
//   {"request":"loadFile","url":"file:///..."}  ->  {"text":"..."}
//   {"request":"copyText","text":"..."}         ->  {}
//   {"request":"openLink","url":"https://..."}  ->  {}
//   {"request":"reconnect"}                     ->  {}
// and its answer is JSON text, or a failure's text. A channel that carries
// no answers of its own (web messages) adds a number "id" to the request,
// and the answer is posted back as {"id":N,"reply":{...}} or
// {"id":N,"error":"..."}.
//
// Reconnecting asks the inspector again for its current target, off the
// main thread, and loads the embedded frontend for it; one at a time, and
// only when the user asks. A frontend the user named is loaded again as it
// is.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "discovery.h"
#include "error.h"
#include "frontend_url.h"

namespace vorbek {

// Everything but post_to_main is called on the main thread.
class HostBackend {
 public:
  virtual ~HostBackend() = default;
  // The address the engine shows a frontend URL under (the embedded
  // frontend's http://devtools.HOST may need another form).
  virtual std::string engine_address(std::string_view frontend_url) const = 0;
  virtual void load(const std::string& address) = 0;
  // Shows `html` as the page at `address`, so a reload asks for `address`.
  virtual void show_html(const std::string& html, const std::string& address) = 0;
  virtual void copy_text(const std::string& text) = 0;
  virtual Status open_in_browser(const std::string& uri) = 0;
  // From any thread: runs `task` on the main thread, from the event loop.
  // False when it could not be handed over; `task` is then dropped unrun.
  virtual bool post_to_main(std::function<void()> task) = 0;
  // Before each load of the embedded frontend: its pages may request only
  // their own origin and the target's WebSocket. An engine that enforces
  // this itself makes it so before the load goes ahead.
  virtual void confine_requests(const std::string& frontend_origin, const std::string& ws_target) {
    (void)frontend_origin;
    (void)ws_target;
  }
};

enum class NavigationKind { LinkClicked, FormSubmitted, BackForward, Reload, Other };

struct Navigation {
  std::string uri;  // as the engine names it
  NavigationKind kind = NavigationKind::Other;
  bool new_window = false;  // window.open, a link with a target
  // Started by the host's own load, as the engine tells it: such a
  // navigation passes, through its redirects too, whatever its address
  // reads by then.
  bool own = false;
};

struct LoadFailure {
  std::string uri;
  std::string reason;  // the engine's
  // Cancelled by the program or the engine on purpose: a download, a
  // navigation the host refused or took over.
  bool on_purpose = false;
};

// The host's reply to a page's request: JSON text, or why there is none,
// on one line.
struct HostReply {
  bool ok = false;
  std::string text;
};
// One-shot: called exactly once, before the request's handler returns.
using SendReply = std::function<void(HostReply)>;
// Not "PostMessage": windows.h makes that name a macro.
using PostReply = std::function<void(std::string)>;
using DiscoverTarget =
    std::function<Result<InspectorTarget>(const std::string& inspector_address)>;

class FrontendHost {
 public:
  // `target` is what start-up discovered; `discover` is
  // discover_inspector_target unless a test says otherwise.
  FrontendHost(HostBackend& backend, std::string inspector_address, const InspectorTarget& target,
               const FrontendUrl& frontend, DiscoverTarget discover = {});
  ~FrontendHost();  // waits for a discovery still running
  FrontendHost(const FrontendHost&) = delete;
  FrontendHost& operator=(const FrontendHost&) = delete;

  // Loads the frontend the window was opened on.
  void start();

  // `page_uri` is the address of the page that sent the request.
  void handle_request(std::string_view page_uri, std::string_view request, const SendReply& reply);
  void handle_posted_message(std::string_view page_uri, std::string_view message,
                             const PostReply& post);

  // Whether the engine may go on; a navigation it may not is either taken
  // over (a link for the browser, a reconnect) or dropped.
  bool allow_navigation(const Navigation& navigation);
  void page_process_ended(std::string_view reason);
  // The crash page even when one is up already: a new web view, made after
  // the engine itself ended, has nothing else to show.
  void show_crash_page(std::string_view reason);
  void load_failed(const LoadFailure& failure);

  // The content security policy for a response to `request_uri` (as the
  // scheme handler sees it), or empty: a frontend the user named is theirs.
  std::string content_security_policy(std::string_view request_uri) const;
  // Whether the page may request `uri` (in the engine's form).
  bool may_request(std::string_view uri) const;

  bool reconnecting() const { return reconnecting_ && !discovery_lost_; }
  // Whether a crash page would show now: not twice without the user acting.
  bool crash_page_allowed() const { return crash_page_allowed_; }
  // The frontend page the window shows, or last showed, in the engine's form.
  const std::string& frontend_address() const { return frontend_address_; }

 private:
  Result<std::string> reply_for(std::string_view page_uri, std::string_view request);
  bool is_frontend_page(std::string_view uri) const;
  bool is_frontend_entry(std::string_view uri) const;
  void reconnect();
  void discovery_finished(Result<InspectorTarget> target);
  bool show_lost_discovery();
  void load(const std::string& address);
  void show_page(const std::string& html, const std::string& address);
  void open_in_browser(const std::string& uri);

  HostBackend& backend_;
  const std::string inspector_address_;
  const bool embedded_;
  DiscoverTarget discover_;
  // Addresses of the embedded frontend's pages start with this.
  const std::string frontend_prefix_;
  std::string frontend_address_;
  // The target the frontend is loaded for, and whether its inspector is on
  // this machine, whose files its file:// paths then name.
  std::string ws_target_;
  bool on_this_machine_ = false;
  // The host's own last navigation, which it lets through.
  std::string own_address_;
  // A page of the host's own (crash, error) is showing at this address.
  std::string own_page_address_;
  bool reconnecting_ = false;
  // The running discovery's result could not be handed to the main thread;
  // the next navigation shows so, and the next request starts another.
  std::atomic<bool> discovery_lost_{false};
  // One crash page per user action: a page that crashes again at once is
  // not shown again and again.
  bool crash_page_allowed_ = true;
  std::thread discovery_;
};

}  // namespace vorbek
