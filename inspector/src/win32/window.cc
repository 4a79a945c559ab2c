// The inspector window and its event loop on Win32: window messages become
// LoopEvents, and LoopState decides when the loop ends.
#include <windows.h>
#include <objbase.h>

#include <memory>
#include <type_traits>
#include <utility>

#include "event_loop.h"
#include "inspector_window.h"
#include "native_window.h"
#include "win32/text.h"

namespace vorbek {
namespace {

constexpr wchar_t WINDOW_CLASS[] = L"vorbek_inspector_window";
// The client area at 96 DPI; scaled to the monitor the window opens on.
constexpr int DEFAULT_WIDTH = 800;
constexpr int DEFAULT_HEIGHT = 600;
constexpr int BASE_DPI = 96;

struct WindowDestroy {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using WindowPtr = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroy>;

// COM in a single-threaded apartment on the main thread, as WebView2 needs.
class ComApartment {
 public:
  ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (ok_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool ok_;
};

}  // namespace

struct PlatformWindow {
  explicit PlatformWindow(LoopState& loop) : loop(loop) {}
  ComApartment com;  // first in, last out: the web view needs it throughout
  LoopState& loop;
  WindowPtr handle;
};

void PlatformWindowDelete::operator()(PlatformWindow* window) const { delete window; }

namespace {

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* state = reinterpret_cast<PlatformWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (state) {
    switch (message) {
      case WM_CLOSE:
        state->loop.deliver(LoopEvent::CloseRequested);
        return 0;  // never destroyed by the close; the process ends with it
      case WM_SIZE:
        state->loop.deliver(LoopEvent::Resized);
        break;
      case WM_MOVE:
        state->loop.deliver(LoopEvent::Moved);
        break;
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
        state->loop.deliver(LoopEvent::FocusChanged);
        break;
      case WM_PAINT:
        state->loop.deliver(LoopEvent::RedrawRequested);
        break;
      case WM_DPICHANGED: {
        // Moved to a monitor of another scale (or the scale changed): the
        // rectangle Windows suggests keeps the window's size in 96-DPI
        // units and the pointer over the same part of it.
        const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
        SetWindowPos(window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
      }
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

Result<WindowPtr> make_window(PlatformWindow& state) {
  // Per-monitor awareness comes from the manifest (vorbek_inspector.manifest):
  // the call that sets it exists only from Windows 10 1703.
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW klass{};
  klass.cbSize = sizeof klass;
  klass.lpfnWndProc = window_proc;
  klass.hInstance = instance;
  klass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  klass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  klass.lpszClassName = WINDOW_CLASS;
  if (!RegisterClassExW(&klass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return win32::os_error(GetLastError());
  }

  const DWORD style = WS_OVERLAPPEDWINDOW;
  const std::wstring title = win32::widen(WINDOW_TITLE);
  HWND raw = CreateWindowExW(0, WINDOW_CLASS, title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                             DEFAULT_WIDTH, DEFAULT_HEIGHT, nullptr, nullptr, instance, &state);
  if (!raw) return win32::os_error(GetLastError());
  WindowPtr window(raw);
  // Sized once Windows has placed it, for the scale of its monitor, before
  // it is shown.
  const UINT dpi = GetDpiForWindow(raw);
  RECT frame{0, 0, MulDiv(DEFAULT_WIDTH, dpi, BASE_DPI), MulDiv(DEFAULT_HEIGHT, dpi, BASE_DPI)};
  AdjustWindowRectExForDpi(&frame, style, FALSE, 0, dpi);
  SetWindowPos(raw, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(raw, SW_SHOW);
  SetForegroundWindow(raw);
  return window;
}

}  // namespace

Result<PlatformWindowPtr> make_platform_window(LoopState& loop) {
  PlatformWindowPtr window(new PlatformWindow(loop));
  auto handle = make_window(*window);
  if (!handle) return std::move(handle).error();
  window->handle = std::move(handle).value();
  return window;
}

NativeWindow* native_window(PlatformWindow& window) {
  return reinterpret_cast<NativeWindow*>(window.handle.get());
}

void run_platform_loop(LoopState& loop) {
  MSG message;
  while (!loop.exit_code()) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;  // WM_QUIT ends the loop with 0
    TranslateMessage(&message);
    DispatchMessageW(&message);
    loop.deliver(LoopEvent::CycleEnded);
  }
}

}  // namespace vorbek
