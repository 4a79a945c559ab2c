// The inspector window on a desktop of any scale. Needs a display.
#include <windows.h>

#include <gtest/gtest.h>

#include "error.h"
#include "event_loop.h"
#include "native_window.h"

namespace vorbek {
namespace {

RECT client_of(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return rect;
}

TEST(Win32Window, SizedForItsMonitorsScaleAndFollowsAScaleChange) {
  LoopState loop;
  auto made = make_platform_window(loop);
  ASSERT_TRUE(made) << format_failure_report(made.error());
  const HWND window = reinterpret_cast<HWND>(native_window(*made.value()));
  const UINT dpi = GetDpiForWindow(window);
  ASSERT_GE(dpi, 96u);
  const RECT client = client_of(window);
  EXPECT_EQ(client.right, MulDiv(800, dpi, 96));
  EXPECT_EQ(client.bottom, MulDiv(600, dpi, 96));

  // Moved to a monitor at 125% of this one's scale: Windows suggests the
  // rectangle that keeps the size in 96-DPI units, and the window takes it.
  RECT frame{};
  GetWindowRect(window, &frame);
  const RECT suggested{10, 20, 10 + MulDiv(frame.right - frame.left, 5, 4),
                       20 + MulDiv(frame.bottom - frame.top, 5, 4)};
  const UINT larger = MulDiv(dpi, 5, 4);
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(larger, larger),
               reinterpret_cast<LPARAM>(&suggested));
  RECT now{};
  GetWindowRect(window, &now);
  EXPECT_EQ(now.left, suggested.left);
  EXPECT_EQ(now.top, suggested.top);
  EXPECT_EQ(now.right - now.left, suggested.right - suggested.left);
  EXPECT_EQ(now.bottom - now.top, suggested.bottom - suggested.top);
  EXPECT_EQ(loop.exit_code(), std::nullopt);
}

}  // namespace
}  // namespace vorbek
