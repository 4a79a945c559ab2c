// A stand-in WebView2 runtime for the web view's tests: test doubles of the
// real header's environment, controller, settings, web view, request and
// event interfaces, built on stubs generated from that header, and a
// fixture that opens the web view on them in a real host window. They
// behave as we read the SDK's documentation; they are no evidence that the
// runtime does. Needs a display. The doubles are in webview2_stand_in_objects.h,
// _web_view.h and _environment.h; this header is the fixture.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "frontend_assets.h"
#include "page_scripts.h"
#include "win32/webview2_stand_in_environment.h"

namespace vorbek {

inline std::vector<std::uint8_t> bytes(std::span<const std::uint8_t> span) {
  return {span.begin(), span.end()};
}

inline LRESULT CALLBACK host_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(window, message, wparam, lparam);
}

constexpr char INSPECTOR[] = "127.0.0.1:9229";
// The target the frontend URL names, on this machine as its address is.
inline const InspectorTarget TARGET{"127.0.0.1:9229/0f2c", true};
constexpr char FRONTEND_URL[] =
    "http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/0f2c&experiments=true&v8only=true";
constexpr wchar_t FRONTEND_PAGE[] =
    L"http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/0f2c&experiments=true&v8only=true";

class StandInRuntime : public testing::Test {
 protected:
  // One host window for all: under Wine, hiding a top-level window waits
  // for the X server's confirmation, which takes seconds.
  static void SetUpTestSuite() {
    WNDCLASSEXW klass{};
    klass.cbSize = sizeof klass;
    klass.lpfnWndProc = host_procedure;
    klass.hInstance = GetModuleHandleW(nullptr);
    klass.lpszClassName = L"vorbek_test_host";
    RegisterClassExW(&klass);
    window_ = CreateWindowExW(0, klass.lpszClassName, L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              40, 40, 816, 639, nullptr, nullptr, klass.hInstance, nullptr);
  }
  static void TearDownTestSuite() {
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(window_, nullptr) << "no host window; is there a display?";
    SetWindowPos(window_, nullptr, 40, 40, 816, 639, SWP_NOZORDER);
  }
  void TearDown() override {
    view_.reset();
    MainThread::pump();
    // Nothing of the view stays on the window, and no handler with the engine.
    EXPECT_EQ(children(), std::vector<HWND>{});
    EXPECT_EQ(GetWindowLongPtrW(window_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(host_procedure));
    EXPECT_FALSE(loader_.web_view().any_handler());
  }

  // What the web view reaches outside the program: the loader, discovery
  // (on a thread of the host's) and the user's browser.
  webview2::Dependencies dependencies() {
    return {loader_.entry(),
            [this](const std::string& address) -> Result<InspectorTarget> {
              std::this_thread::sleep_for(discovery_delay_);
              std::lock_guard lock(mutex_);
              discovered_at_.push_back(address);
              if (!discovered_) return Error(discovery_error_);
              return InspectorTarget{*discovered_, true};
            },
            [this](const std::string& uri) -> Status {
              opened_.push_back(uri);
              return {};
            },
            [this](std::string_view line) { said_.emplace_back(line); }};
  }
  Result<WebViewPtr> open(const std::string& url = FRONTEND_URL, bool embedded = true) {
    return webview2::create_webview(window_, INSPECTOR, TARGET, FrontendUrl{url, embedded},
                                    dependencies());
  }
  void open_ok(const std::string& url = FRONTEND_URL, bool embedded = true) {
    auto view = open(url, embedded);
    ASSERT_TRUE(view) << format_failure_report(view.error());
    view_ = std::move(view).value();
  }
  // Runs the message loop until `done`, for at most five seconds.
  bool pump_until(const std::function<bool()>& done) {
    for (int round = 0; round < 250; ++round) {
      MainThread::pump();
      if (done()) return true;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return done();
  }
  // Opened, and the first page shown.
  void open_shown(const std::string& url = FRONTEND_URL, bool embedded = true) {
    open_ok(url, embedded);
    ASSERT_TRUE(pump_until([&] { return !loader_.web_view().document_uri.empty(); }));
  }
  std::vector<std::string> discovered_at() {
    std::lock_guard lock(mutex_);
    return discovered_at_;
  }
  RECT client() const {
    RECT rect{};
    GetClientRect(window_, &rect);
    return rect;
  }
  std::vector<HWND> children() const {
    std::vector<HWND> out;
    EnumChildWindows(
        window_,
        [](HWND child, LPARAM list) {
          reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&out));
    return out;
  }
  // The frontend's request handler, as the engine raises it.
  ComPtr<FakeRequestArgs> request(const wchar_t* uri, const wchar_t* method = L"GET") {
    auto args = com::make<FakeRequestArgs>();
    args->request->uri = uri;
    args->request->method = method;
    auto& handler = loader_.web_view().on_request;
    EXPECT_TRUE(handler);
    if (handler) handler->Invoke(nullptr, args.Get());
    return args;
  }

  StandInLoader loader_;
  static inline HWND window_ = nullptr;
  WebViewPtr view_;
  std::vector<std::string> opened_;  // in the user's browser
  std::vector<std::string> said_;    // to the user, on standard error
  std::mutex mutex_;                 // discovery runs on a thread of its own
  std::vector<std::string> discovered_at_;
  std::optional<std::string> discovered_ = "127.0.0.1:9229/b7d1";  // none: discovery fails
  std::string discovery_error_ = "failed to read inspector targets";
  std::chrono::milliseconds discovery_delay_{0};
};

}  // namespace vorbek
