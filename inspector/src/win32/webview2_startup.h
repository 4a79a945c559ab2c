// Starting the WebView2 web view: the environment through the loader, the
// controller in the container, the settings the user sees and the
// frontend's page scripts. The runtime completes each step later, through
// window messages; each call here waits for its step, dispatching this
// thread's messages meanwhile.
#pragma once

#include "win32/webview2_sdk.h"

#include <functional>
#include <string>

#include "error.h"

namespace vorbek::webview2 {

// CreateCoreWebView2EnvironmentWithOptions's shape: browser folder, user-data
// folder, options, completion handler.
using CreateEnvironment = std::function<HRESULT(
    PCWSTR, PCWSTR, ICoreWebView2EnvironmentOptions*,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*)>;

inline constexpr const char* LOADER_LIBRARY = "WebView2Loader.dll";

// The loader's entry point, from the DLL beside the program, opened when the
// web view is made: a program without it still starts and prints, and the
// window's report names what is missing.
Result<CreateEnvironment> load_loader();

// The engine keeps its data in a folder of the program's own,
// %LOCALAPPDATA%\vorbek_inspector, as it does in ~/.local/share on Linux:
// the runtime's default, beside the .exe, cannot be made under Program
// Files. Empty where the system names no such folder.
std::wstring user_data_folder();

// Made with `create`, the options of ours and user_data_folder().
// Each step waits for the runtime's completion until `*closed` (the window
// was asked to close), when it gives up; a late completion then finds
// nobody waiting, and a controller it brings is closed.
Result<com::ComPtr<ICoreWebView2Environment>> create_environment(const CreateEnvironment& create,
                                                                 const bool* closed = nullptr);

// `failed`, when given, gets the HRESULT a failed creation completed with.
Result<com::ComPtr<ICoreWebView2Controller>> create_controller(
    ICoreWebView2Environment* environment, HWND container, HRESULT* failed = nullptr,
    const bool* closed = nullptr);

struct Engine {
  com::ComPtr<ICoreWebView2Environment> environment;
  com::ComPtr<ICoreWebView2Controller> controller;
};

// An environment and its controller in `container`. A controller that
// fails is tried again from a new environment, as the runtime asks, except
// for ERROR_INVALID_STATE (another instance on the data folder with other
// options) and E_ABORT (the container is gone), which no retry mends.
Result<Engine> create_engine(const CreateEnvironment& create, HWND container,
                             const bool* closed = nullptr);

// Each setting the user sees set explicitly rather than trusted to the
// runtime's defaults.
Status apply_settings(ICoreWebView2* core);

// The frontend's page scripts (its bridge to the host first), in every
// document created from now on; each checks its own origin.
Status add_page_scripts(ICoreWebView2* core);

}  // namespace vorbek::webview2
