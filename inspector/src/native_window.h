// What each platform's window file gives the portable window code
// (inspector_window.cc): the top-level window, and the loop that turns its
// events into LoopEvents.
#pragma once

#include <memory>

#include "error.h"
#include "event_loop.h"
#include "webview.h"

namespace vorbek {

// The platform's top-level window with what it needs besides: GTK's widget,
// or the HWND and the thread's COM apartment.
struct PlatformWindow;
struct PlatformWindowDelete {
  void operator()(PlatformWindow* window) const;
};
using PlatformWindowPtr = std::unique_ptr<PlatformWindow, PlatformWindowDelete>;

// A shown top-level window titled WINDOW_TITLE, still empty, whose events go
// to `loop`; a failure is the toolkit's own.
Result<PlatformWindowPtr> make_platform_window(LoopState& loop);

// The handle the web view is built in.
NativeWindow* native_window(PlatformWindow& window);

// Dispatches the platform's events until `loop` has an exit code.
void run_platform_loop(LoopState& loop);

}  // namespace vorbek
