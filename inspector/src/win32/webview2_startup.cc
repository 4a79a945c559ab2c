#include "win32/webview2_startup.h"

#include <shlobj.h>

#include <memory>
#include <string>
#include <utility>

#include "dynamic_library.h"
#include "page_scripts.h"
#include "win32/text.h"
#include "win32/webview2_com.h"
#include "win32/webview2_errors.h"

namespace vorbek::webview2 {
namespace {

// The engine completes its start-up steps later, through window messages;
// until `done`, this thread's messages are dispatched here. A window asked
// to close stops the wait.
Status wait_for(const bool& done, const bool* closed = nullptr) {
  MSG message;
  while (!done) {
    if (closed && *closed) return Error("the window was closed before the web view was ready");
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) return win32::os_error(GetLastError());
    if (got == 0) {
      // Not ours to swallow: the main loop ends on it too.
      PostQuitMessage(static_cast<int>(message.wParam));
      return Error("the message loop was ended before the web view was ready");
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return {};
}

template <typename Interface>
struct Completion {
  bool done = false;
  bool abandoned = false;  // nobody waits any more
  HRESULT result = E_FAIL;
  com::ComPtr<Interface> value;
};

}  // namespace

Result<CreateEnvironment> load_loader() {
  // Opened once and kept: the environment's threads run in it.
  static Result<LibraryHandle> library = open_library(LOADER_LIBRARY);
  if (!library) return library.error();
  auto entry = find_symbol(library->get(), "CreateCoreWebView2EnvironmentWithOptions");
  if (!entry) return std::move(entry).error().wrap(std::string("a broken ") + LOADER_LIBRARY);
  return CreateEnvironment(
      reinterpret_cast<decltype(&::CreateCoreWebView2EnvironmentWithOptions)>(*entry));
}

std::wstring user_data_folder() {
  PWSTR local = nullptr;
  if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local))) {
    CoTaskMemFree(local);
    return {};
  }
  std::wstring folder = local;
  CoTaskMemFree(local);
  return folder + L"\\vorbek_inspector";
}

Result<com::ComPtr<ICoreWebView2Environment>> create_environment(const CreateEnvironment& create,
                                                                 const bool* closed) {
  auto options = make_environment_options(user_interface_language());
  auto completion = std::make_shared<Completion<ICoreWebView2Environment>>();
  auto handler = com::handler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
      [completion](HRESULT result, ICoreWebView2Environment* environment) -> HRESULT {
        completion->done = true;
        completion->result = result;
        completion->value = environment;
        return S_OK;
      });
  // No browser folder: the installed runtime.
  const std::wstring data_folder = user_data_folder();
  HRESULT result = create(nullptr, data_folder.empty() ? nullptr : data_folder.c_str(),
                          options.Get(), handler.Get());
  if (FAILED(result)) return hresult_error(result);
  if (auto waited = wait_for(completion->done, closed); !waited) {
    completion->abandoned = true;
    return std::move(waited).error();
  }
  if (FAILED(completion->result)) return hresult_error(completion->result);
  if (!completion->value) return Error("the WebView2 loader gave no environment");
  return completion->value;
}

Result<com::ComPtr<ICoreWebView2Controller>> create_controller(
    ICoreWebView2Environment* environment, HWND container, HRESULT* failed, const bool* closed) {
  auto completion = std::make_shared<Completion<ICoreWebView2Controller>>();
  auto handler = com::handler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
      [completion](HRESULT result, ICoreWebView2Controller* controller) -> HRESULT {
        // Too late: the window is closing, and the web view is nobody's.
        if (completion->abandoned) {
          if (controller) controller->Close();
          return S_OK;
        }
        completion->done = true;
        completion->result = result;
        completion->value = controller;
        return S_OK;
      });
  // The plain creation: not in private mode.
  if (auto started = check(environment->CreateCoreWebView2Controller(container, handler.Get()),
                           "cannot create the WebView2 controller");
      !started) {
    return std::move(started).error();
  }
  if (auto waited = wait_for(completion->done, closed); !waited) {
    completion->abandoned = true;
    return std::move(waited).error();
  }
  if (FAILED(completion->result)) {
    if (failed) *failed = completion->result;
    return hresult_error(completion->result).wrap("cannot create the WebView2 controller");
  }
  if (!completion->value) return Error("the WebView2 runtime gave no controller");
  return completion->value;
}

Result<Engine> create_engine(const CreateEnvironment& create, HWND container, const bool* closed) {
  constexpr int ATTEMPTS = 3;
  for (int attempt = 1;; ++attempt) {
    auto environment = create_environment(create, closed);
    if (!environment) return std::move(environment).error();
    const com::ComPtr<ICoreWebView2Environment> made = environment.value();
    HRESULT failed = S_OK;
    auto controller = create_controller(made.Get(), container, &failed, closed);
    if (controller) return Engine{made, controller.value()};
    // A new environment, since a runtime update may have removed the old
    // one's version.
    const bool retry = FAILED(failed) && failed != HRESULT_FROM_WIN32(ERROR_INVALID_STATE) &&
                       failed != E_ABORT && attempt < ATTEMPTS;
    if (!retry) return std::move(controller).error();
  }
}

Status apply_settings(ICoreWebView2* core) {
  com::ComPtr<ICoreWebView2Settings> settings;
  if (auto got = check(core->get_Settings(settings.GetAddressOf()), "cannot read the settings");
      !got) {
    return got;
  }
  if (!settings) return Error("the WebView2 runtime gave no settings");
  auto v3 = require<ICoreWebView2Settings3>(settings.Get(), "ICoreWebView2Settings3");
  if (!v3) return std::move(v3).error();
  auto v4 = require<ICoreWebView2Settings4>(settings.Get(), "ICoreWebView2Settings4");
  if (!v4) return std::move(v4).error();
  auto v5 = require<ICoreWebView2Settings5>(settings.Get(), "ICoreWebView2Settings5");
  if (!v5) return std::move(v5).error();
  auto v6 = require<ICoreWebView2Settings6>(settings.Get(), "ICoreWebView2Settings6");
  if (!v6) return std::move(v6).error();

  const std::pair<HRESULT, const char*> steps[] = {
      {settings->put_IsScriptEnabled(TRUE), "cannot enable scripts"},
      // The frontend's requests to its host travel as web messages.
      {settings->put_IsWebMessageEnabled(TRUE), "cannot enable the page's messages"},
      // No way to inspect the hosting page: no inspect entry, no F12.
      {settings->put_AreDevToolsEnabled(FALSE), "cannot disable the developer tools"},
      {settings->put_IsZoomControlEnabled(FALSE), "cannot disable zooming"},
      {settings->put_IsStatusBarEnabled(FALSE), "cannot disable the status bar"},
      {settings->put_AreDefaultContextMenusEnabled(TRUE), "cannot enable the context menus"},
      {(*v3)->put_AreBrowserAcceleratorKeysEnabled(TRUE), "cannot enable the accelerator keys"},
      {(*v4)->put_IsGeneralAutofillEnabled(TRUE), "cannot enable autofill"},
      {(*v5)->put_IsPinchZoomEnabled(FALSE), "cannot disable pinch zoom"},
      {(*v6)->put_IsSwipeNavigationEnabled(FALSE), "cannot disable swipe navigation"},
  };
  for (const auto& [result, what] : steps) {
    if (auto done = check(result, what); !done) return done;
  }
  return {};
}

Status add_page_scripts(ICoreWebView2* core) {
  struct Added {
    bool done = false;
    HRESULT result = E_FAIL;
  };
  for (const char* source : frontend_page_scripts()) {
    auto added = std::make_shared<Added>();
    auto handler = com::handler<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler>(
        [added](HRESULT result, LPCWSTR) -> HRESULT {
          added->done = true;
          added->result = result;
          return S_OK;
        });
    const std::wstring script = win32::widen(source);
    if (auto started = check(core->AddScriptToExecuteOnDocumentCreated(script.c_str(), handler.Get()),
                             "cannot add the frontend's page scripts");
        !started) {
      return started;
    }
    if (auto waited = wait_for(added->done); !waited) return waited;
    if (auto done = check(added->result, "cannot add the frontend's page scripts"); !done) return done;
  }
  return {};
}

}  // namespace vorbek::webview2
