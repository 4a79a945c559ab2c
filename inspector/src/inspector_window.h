// The event loop, the top-level window and the web view showing the frontend.
#pragma once

#include <memory>
#include <string>

#include "error.h"
#include "frontend_url.h"

namespace vorbek {

class InspectorWindow {
 public:
  struct Parts;  // defined by the toolkit's files
  explicit InspectorWindow(std::unique_ptr<Parts> parts);
  InspectorWindow(InspectorWindow&&) noexcept;
  InspectorWindow& operator=(InspectorWindow&&) noexcept;
  ~InspectorWindow();

  Parts& parts() { return *parts_; }

 private:
  std::unique_ptr<Parts> parts_;
};

inline constexpr const char* WINDOW_TITLE = "vorbek \u2014 script inspector";
inline constexpr const char* WINDOW_FAILURE = "failed to create inspector window";
inline constexpr const char* WEBVIEW_FAILURE =
    "failed to create webview (is the WebView2 runtime installed?)";

// Main thread only, at most once. The window shows `frontend`, and asks
// `inspector_address` again only when the user reconnects.
Result<InspectorWindow> open_inspector_window(const std::string& inspector_address,
                                              const FrontendUrl& frontend);

// Runs the loop until the window is closed, then ends the process.
[[noreturn]] void run_inspector_window(InspectorWindow window);

}  // namespace vorbek
