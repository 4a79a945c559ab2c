// The event loop, the top-level window and the web view showing the frontend.
#pragma once

#include <memory>
#include <string>

#include "discovery.h"
#include "error.h"
#include "event_loop.h"
#include "frontend_url.h"
#include "native_window.h"
#include "webview.h"

namespace vorbek {

class InspectorWindow {
 public:
  // The loop's state sits apart: the window's event handlers hold it.
  InspectorWindow(std::unique_ptr<LoopState> loop, PlatformWindowPtr window, WebViewPtr webview)
      : loop_(std::move(loop)), window_(std::move(window)), webview_(std::move(webview)) {}

  LoopState& loop() { return *loop_; }

 private:
  // Destroyed in reverse: the web view before the window it is in.
  std::unique_ptr<LoopState> loop_;
  PlatformWindowPtr window_;
  WebViewPtr webview_;
};

inline constexpr const char* WINDOW_TITLE = "vorbek \u2014 script inspector";
inline constexpr const char* WINDOW_FAILURE = "failed to create inspector window";
inline constexpr const char* WEBVIEW_FAILURE =
    "failed to create webview (is the WebView2 runtime installed?)";

// Main thread only, at most once. The window shows `frontend`, and asks
// `inspector_address` again only when the user reconnects.
Result<InspectorWindow> open_inspector_window(const std::string& inspector_address,
                                              const InspectorTarget& target,
                                              const FrontendUrl& frontend);

// Runs the loop until the window is closed, then ends the process.
[[noreturn]] void run_inspector_window(InspectorWindow window);

}  // namespace vorbek
