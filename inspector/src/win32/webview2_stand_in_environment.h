// The stand-in WebView2 runtime's environment and the loader that makes
// it (webview2_stand_in.h).
#pragma once

#include "win32/webview2_stand_in_web_view.h"

namespace vorbek {

class FakeBrowserExitedArgs : public Fake<ICoreWebView2BrowserProcessExitedEventArgs> {
 public:
  COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND kind = COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND_FAILED;
  HRESULT STDMETHODCALLTYPE get_BrowserProcessExitKind(
      COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND* out) override {
    *out = kind;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_BrowserProcessId(UINT32* out) override {
    *out = 4242;
    return S_OK;
  }
};

class FakeEnvironment : public Fake<ICoreWebView2Environment5> {
 public:
  ComPtr<ICoreWebView2BrowserProcessExitedEventHandler> on_browser_exited;
  // Run as each controller's creation starts, before its completion.
  std::function<void()> while_creating_controller;
  ComPtr<FakeController> controller = com::make<FakeController>();
  HWND parent = nullptr;
  HRESULT controller_result = S_OK;  // what the completion reports
  int failing_controllers = -1;      // so many get controller_result; -1: all
  int failing_responses = 0;         // so many responses cannot be made

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parent_window, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override {
    parent = parent_window;
    if (while_creating_controller) while_creating_controller();
    ComPtr<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> keep(handler);
    ComPtr<FakeController> made = controller;
    HRESULT result = failing_controllers == 0 ? S_OK : controller_result;
    if (failing_controllers > 0) --failing_controllers;
    MainThread::post([keep, made, result] {
      keep->Invoke(result, SUCCEEDED(result) ? made.Get() : nullptr);
    });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_BrowserProcessExited(
      ICoreWebView2BrowserProcessExitedEventHandler* handler, EventRegistrationToken* token) override {
    on_browser_exited = handler;
    token->value = 9;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE remove_BrowserProcessExited(EventRegistrationToken token) override {
    if (token.value == 9) on_browser_exited.Reset();
    return S_OK;
  }
  // Raised as the runtime does: only to a handler still added.
  void browser_exited(COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND kind) {
    auto args = com::make<FakeBrowserExitedArgs>();
    args->kind = kind;
    if (on_browser_exited) on_browser_exited->Invoke(this, args.Get());
  }
  HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(
      IStream* content, int status, LPCWSTR reason, LPCWSTR headers,
      ICoreWebView2WebResourceResponse** out) override {
    if (failing_responses > 0) {
      --failing_responses;
      return E_OUTOFMEMORY;
    }
    auto response = com::make<FakeResponse>();
    response->content = content;
    response->status = status;
    response->reason = text_of(reason);
    response->headers = text_of(headers);
    *out = response.Detach();
    return S_OK;
  }
};

// The loader: what it was given, and the environment it completes with.
struct StandInLoader {
  ComPtr<FakeEnvironment> environment = com::make<FakeEnvironment>();
  HRESULT returned = S_OK;   // from the call itself
  HRESULT completed = S_OK;  // through the completion handler
  int calls = 0;
  std::optional<std::wstring> browser_folder, user_data_folder;  // nothing: null
  ComPtr<ICoreWebView2EnvironmentOptions> options;
  // Run as each creation starts: the runtime takes its time, and the
  // program's queued work may come due meanwhile.
  std::function<void()> while_creating;

  webview2::CreateEnvironment entry() {
    return [this](PCWSTR browser, PCWSTR user_data, ICoreWebView2EnvironmentOptions* given,
                  ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
      ++calls;
      if (while_creating) while_creating();
      if (browser) browser_folder = browser;
      if (user_data) user_data_folder = user_data;
      options = given;
      if (FAILED(returned)) return returned;
      ComPtr<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> keep(handler);
      ComPtr<FakeEnvironment> made = environment;
      const HRESULT result = completed;
      MainThread::post([keep, made, result] {
        keep->Invoke(result, SUCCEEDED(result) ? made.Get() : nullptr);
      });
      return S_OK;
    };
  }
  FakeController& controller() { return *environment->controller.Get(); }
  FakeWebView& web_view() { return *controller().web_view.Get(); }

  // The runtime's browser process ends: its web view is closed for good
  // and says so, through ProcessFailed and the environment's
  // BrowserProcessExited, "but the order is not guaranteed"; a web view
  // made after that comes from a new environment. The old one, to look at
  // afterwards.
  ComPtr<FakeEnvironment> end_browser_process(bool exited_first = false) {
    ComPtr<FakeEnvironment> old = environment;
    environment = com::make<FakeEnvironment>();
    FakeWebView& closed = *old->controller->web_view.Get();
    closed.navigate_result = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    if (exited_first) old->browser_exited(COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND_FAILED);
    if (closed.on_process_failed) {
      closed.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED,
                            COREWEBVIEW2_PROCESS_FAILED_REASON_UNEXPECTED, 1);
    }
    if (!exited_first) old->browser_exited(COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND_FAILED);
    return old;
  }
};

}  // namespace vorbek
