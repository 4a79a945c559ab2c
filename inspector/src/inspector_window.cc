#include "inspector_window.h"

#include <cstdlib>
#include <iostream>
#include <utility>

namespace vorbek {

Result<InspectorWindow> open_inspector_window(const std::string& inspector_address,
                                              const InspectorTarget& target,
                                              const FrontendUrl& frontend) {
  auto loop = std::make_unique<LoopState>();
  auto made = make_platform_window(*loop);
  if (!made) return std::move(made).error().wrap(WINDOW_FAILURE);
  PlatformWindowPtr window = std::move(made).value();

  auto webview = create_webview(native_window(*window), inspector_address, target, frontend);
  // Closed while the engine was still making the web view (WebView2 makes
  // it asynchronously): the user's close, which ends the program as usual.
  if (!webview && loop->exit_code()) {
    return InspectorWindow(std::move(loop), std::move(window), WebViewPtr());
  }
  if (!webview) {
    window.reset();  // closed before the report is written
    return std::move(webview).error().wrap(WEBVIEW_FAILURE);
  }
  return InspectorWindow(std::move(loop), std::move(window), std::move(webview).value());
}

void run_inspector_window(InspectorWindow window) {
  LoopState& loop = window.loop();
  loop.deliver(LoopEvent::LoopStarted);
  if (!loop.exit_code()) run_platform_loop(loop);
  loop.deliver(LoopEvent::LoopDestroyed);
  const int code = loop.exit_code().value_or(0);

  // The window and the web view are never torn down by hand: they go with
  // the process. exit() flushes what stdio still holds.
  std::cout.flush();
  std::exit(code);
}

}  // namespace vorbek
