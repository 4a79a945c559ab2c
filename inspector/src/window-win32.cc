// The inspector window and its event loop on Win32: window messages become
// LoopEvents, and LoopState decides when the loop ends.
#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <type_traits>
#include <utility>

#include "event_loop.h"
#include "inspector_window.h"
#include "webview.h"
#include "win32_text.h"

namespace vorbek {
namespace {

constexpr wchar_t WINDOW_CLASS[] = L"vorbek_inspector_window";
constexpr int DEFAULT_WIDTH = 800;  // client area, physical pixels
constexpr int DEFAULT_HEIGHT = 600;

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

struct InspectorWindow::Parts {
  ComApartment com;
  LoopState loop;
  WindowPtr window;
  WebViewPtr webview;  // inside `window`
};

InspectorWindow::InspectorWindow(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}
InspectorWindow::InspectorWindow(InspectorWindow&&) noexcept = default;
InspectorWindow& InspectorWindow::operator=(InspectorWindow&&) noexcept = default;
InspectorWindow::~InspectorWindow() = default;

namespace {

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* parts = reinterpret_cast<InspectorWindow::Parts*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (parts) {
    switch (message) {
      case WM_CLOSE:
        parts->loop.deliver(LoopEvent::CloseRequested);
        return 0;  // never destroyed by the close; the process ends with it
      case WM_SIZE:
        parts->loop.deliver(LoopEvent::Resized);
        break;
      case WM_MOVE:
        parts->loop.deliver(LoopEvent::Moved);
        break;
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
        parts->loop.deliver(LoopEvent::FocusChanged);
        break;
      case WM_PAINT:
        parts->loop.deliver(LoopEvent::RedrawRequested);
        break;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

Result<WindowPtr> make_window(InspectorWindow::Parts& parts) {
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);  // best effort
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
  RECT frame{0, 0, DEFAULT_WIDTH, DEFAULT_HEIGHT};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  const std::wstring title = win32::widen(WINDOW_TITLE);
  HWND raw = CreateWindowExW(0, WINDOW_CLASS, title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                             frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                             instance, &parts);
  if (!raw) return win32::os_error(GetLastError());
  WindowPtr window(raw);
  ShowWindow(raw, SW_SHOW);
  SetForegroundWindow(raw);
  return window;
}

}  // namespace

Result<InspectorWindow> open_inspector_window(const std::string& inspector_address,
                                              const FrontendUrl& frontend) {
  auto parts = std::make_unique<InspectorWindow::Parts>();
  auto window = make_window(*parts);
  if (!window) return std::move(window).error().wrap(WINDOW_FAILURE);
  parts->window = std::move(window).value();

  auto webview = create_webview(reinterpret_cast<NativeWindow*>(parts->window.get()),
                                inspector_address, frontend);
  if (!webview) {
    parts->window.reset();  // closed before the report is written
    return std::move(webview).error().wrap(WEBVIEW_FAILURE);
  }
  parts->webview = std::move(webview).value();
  return InspectorWindow(std::move(parts));
}

void run_inspector_window(InspectorWindow window) {
  InspectorWindow::Parts& parts = window.parts();
  parts.loop.deliver(LoopEvent::LoopStarted);
  MSG message;
  while (!parts.loop.exit_code()) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;  // WM_QUIT ends the loop with 0
    TranslateMessage(&message);
    DispatchMessageW(&message);
    parts.loop.deliver(LoopEvent::CycleEnded);
  }
  parts.loop.deliver(LoopEvent::LoopDestroyed);
  const int code = parts.loop.exit_code().value_or(0);

  // The window and the web view go with the process; exit() flushes stdio
  // and ends it through ExitProcess.
  std::cout.flush();
  std::exit(code);
}

}  // namespace vorbek
