// The WebView2 web view against the stand-in runtime (webview2_stand_in.h):
// our half of the contract with the runtime, not that the runtime works.
#include "win32/webview2_stand_in.h"

#include <gtest/gtest.h>

namespace vorbek {
namespace {

bool same(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right) +
         "x" + std::to_string(r.bottom);
}

TEST_F(StandInRuntime, EnvironmentComesFromTheLoaderWithTheRuntimesOwnFolders) {
  open_ok();
  EXPECT_EQ(loader_.calls, 1);
  // No browser folder: the installed runtime. The engine's data in a folder
  // of the program's own: the runtime's default, beside the .exe, cannot be
  // made under Program Files.
  EXPECT_EQ(loader_.browser_folder, std::nullopt);
  wchar_t local[MAX_PATH] = {};
  ASSERT_NE(GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH), 0u);
  EXPECT_EQ(loader_.user_data_folder, std::wstring(local) + L"\\vorbek_inspector");
  ASSERT_TRUE(loader_.options);
  com::TaskString arguments, language, version;
  ASSERT_EQ(loader_.options->get_AdditionalBrowserArguments(arguments.out()), S_OK);
  EXPECT_EQ(text_of(arguments.get()),
            L"--disable-features=msWebOOUI,msPdfOOUI,msSmartScreenProtection "
            L"--autoplay-policy=no-user-gesture-required");
  // The user's interface language, as a locale name.
  wchar_t expected[LOCALE_NAME_MAX_LENGTH] = {};
  LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), expected,
                   LOCALE_NAME_MAX_LENGTH, 0);
  ASSERT_EQ(loader_.options->get_Language(language.out()), S_OK);
  EXPECT_EQ(text_of(language.get()), expected);
  EXPECT_NE(std::wstring(expected), L"");
  ASSERT_EQ(loader_.options->get_TargetCompatibleBrowserVersion(version.out()), S_OK);
  EXPECT_NE(text_of(version.get()).find(L'.'), std::wstring::npos) << text_of(version.get());
  BOOL single_sign_on = TRUE;
  ASSERT_EQ(loader_.options->get_AllowSingleSignOnUsingOSPrimaryAccount(&single_sign_on), S_OK);
  EXPECT_FALSE(single_sign_on);
}

TEST_F(StandInRuntime, ControllerFillsAChildOfTheWindowVisibleAndFocused) {
  open_ok();
  const auto kids = children();
  ASSERT_EQ(kids.size(), 1u);
  // Created plainly (not in private mode) in our container, a child of the
  // window covering its client area.
  EXPECT_EQ(loader_.environment->parent, kids[0]);
  EXPECT_EQ(GetParent(kids[0]), window_);
  RECT container{};
  GetWindowRect(kids[0], &container);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&container), 2);
  EXPECT_TRUE(same(container, client())) << describe(container) << " vs " << describe(client());
  FakeController& controller = loader_.controller();
  ASSERT_TRUE(controller.bounds);
  EXPECT_TRUE(same(*controller.bounds, client())) << describe(*controller.bounds);
  EXPECT_EQ(controller.visible, TRUE);
  EXPECT_GE(controller.focus_moves, 1);
  EXPECT_FALSE(controller.background_set);  // the engine's default, opaque
  // Bounds in physical pixels, and the scale the runtime's to follow: set,
  // not assumed, since the bounds given are the window's physical size.
  EXPECT_EQ(controller.bounds_mode, COREWEBVIEW2_BOUNDS_MODE_USE_RAW_PIXELS);
  EXPECT_EQ(controller.detects_scale, TRUE);
  EXPECT_EQ(controller.scale_settings, 2);
}

TEST_F(StandInRuntime, SettingsAreTheTablesValuesAndNothingElse) {
  open_ok();
  const std::map<std::string, BOOL> expected = {
      {"IsScriptEnabled", TRUE},
      {"IsWebMessageEnabled", TRUE},  // the frontend's requests to its host
      {"AreDevToolsEnabled", FALSE},
      {"IsZoomControlEnabled", FALSE},
      {"IsPinchZoomEnabled", FALSE},
      {"IsStatusBarEnabled", FALSE},
      {"AreDefaultContextMenusEnabled", TRUE},
      {"AreBrowserAcceleratorKeysEnabled", TRUE},
      {"IsSwipeNavigationEnabled", FALSE},
      {"IsGeneralAutofillEnabled", TRUE},
  };
  // The user agent among the rest: the engine's own.
  EXPECT_EQ(loader_.web_view().settings->set, expected);
}

TEST_F(StandInRuntime, FrontendFilterHandlersAndHostScriptBeforeTheOneNavigation) {
  open_ok();
  FakeWebView& web_view = loader_.web_view();
  ASSERT_EQ(web_view.filters.size(), 2u);
  EXPECT_EQ(web_view.filters[0].uri, L"http://devtools.*");
  EXPECT_EQ(web_view.filters[0].context, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
  EXPECT_EQ(web_view.filters[0].sources, COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_ALL);
  // The backstop: every request, from every frame and worker.
  EXPECT_EQ(web_view.filters[1].uri, L"*");
  EXPECT_EQ(web_view.filters[1].context, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
  EXPECT_EQ(web_view.filters[1].sources, COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_ALL);
  EXPECT_TRUE(web_view.on_request);
  EXPECT_TRUE(web_view.on_download);
  // The frontend's host: its messages, the navigation and new-window
  // decisions, the page's process and its loads.
  EXPECT_TRUE(web_view.on_message);
  EXPECT_TRUE(web_view.on_starting);
  EXPECT_TRUE(web_view.on_new_window);
  EXPECT_TRUE(web_view.on_process_failed);
  EXPECT_TRUE(web_view.on_completed);
  // No title or DOM-loaded handler, no host objects; pages are served,
  // never navigated to as strings.
  EXPECT_EQ(web_view.other_handlers, std::vector<std::string>{});
  // The page scripts, the host's bridge first, and nothing of WebKit's
  // mending, in place before the first page.
  std::vector<std::wstring> scripts;
  for (const char* script : frontend_page_scripts()) scripts.push_back(win32::widen(script));
  EXPECT_EQ(web_view.scripts, scripts);
  EXPECT_EQ(web_view.scripts.front(), win32::widen(FRONTEND_HOST_SCRIPT));
  EXPECT_EQ(web_view.scripts_at_first_navigation, scripts.size());
  EXPECT_EQ(web_view.navigations, std::vector<std::wstring>{FRONTEND_PAGE});
}

TEST_F(StandInRuntime, HostScriptOnlyForTheFrontendOrigin) {
  // The embedded frontend written with its custom scheme is loaded from the
  // http origin, and gets the bridge.
  open_ok("devtools://localhost/js_app.html?ws=h:1/x", false);
  EXPECT_EQ(loader_.web_view().navigations,
            std::vector<std::wstring>{L"http://devtools.localhost/js_app.html?ws=h:1/x"});
  EXPECT_EQ(loader_.web_view().scripts.size(), frontend_page_scripts().size());

  // A frontend from elsewhere runs as it was written.
  view_.reset();
  StandInLoader elsewhere;
  webview2::Dependencies with_loader = dependencies();
  with_loader.create_environment = elsewhere.entry();
  auto view = webview2::create_webview(
      window_, INSPECTOR, TARGET, FrontendUrl{"http://127.0.0.1:8080/inspector.html?ws=h:1/x", false},
      with_loader);
  ASSERT_TRUE(view) << format_failure_report(view.error());
  EXPECT_EQ(elsewhere.web_view().scripts, std::vector<std::wstring>{});
  EXPECT_EQ(elsewhere.web_view().navigations,
            std::vector<std::wstring>{L"http://127.0.0.1:8080/inspector.html?ws=h:1/x"});
}

TEST_F(StandInRuntime, FrontendRequestsAreAnsweredFromTheTable) {
  open_ok();
  const FrontendAsset* page = find_frontend_asset("js_app.html");
  ASSERT_NE(page, nullptr);

  auto found = request(L"http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/0f2c");
  ASSERT_NE(found->response_given(), nullptr);
  EXPECT_EQ(found->response_given()->status, 200);
  EXPECT_EQ(found->response_given()->reason, L"OK");
  EXPECT_EQ(found->response_given()->headers.rfind(L"content-type: text/html; charset=utf-8", 0), 0u)
      << win32::narrow(found->response_given()->headers);
  ASSERT_TRUE(found->response_given()->content);
  EXPECT_EQ(read_all(found->response_given()->content.Get()), bytes(page->content));

  // Any method, any host under devtools.: the path decides.
  auto post = request(L"http://devtools.other.example/entrypoints/js_app/js_app.js", L"POST");
  post->request->headers->headers = {{L"Content-Type", L"text/plain"}};
  ASSERT_NE(post->response_given(), nullptr);
  EXPECT_EQ(post->response_given()->status, 200);
  EXPECT_EQ(post->response_given()->headers.rfind(L"content-type: text/javascript; charset=utf-8", 0), 0u);

  auto missing = request(L"http://devtools.localhost/favicon.ico");
  ASSERT_NE(missing->response_given(), nullptr);
  EXPECT_EQ(missing->response_given()->status, 404);
  EXPECT_EQ(missing->response_given()->reason, L"Not Found");
  // Then the pages' policy, on every answer of the embedded frontend.
  EXPECT_EQ(missing->response_given()->headers.rfind(
                L"content-type: text/plain; charset=utf-8\r\ncontent-security-policy: ", 0),
            0u);
  ASSERT_TRUE(missing->response_given()->content);
  const std::string not_found = "Not Found";
  EXPECT_EQ(read_all(missing->response_given()->content.Get()),
            std::vector<std::uint8_t>(not_found.begin(), not_found.end()));
}

TEST_F(StandInRuntime, RequestWithHeadersAndBodyGetsTheSameAnswer) {
  open_ok();
  auto args = com::make<FakeRequestArgs>();
  args->request->uri = L"http://devtools.localhost/Images/3d-center.svg";
  args->request->method = L"POST";
  args->request->headers->headers = {{L"Accept", L"*/*"}, {L"X-Test", L"\u00e9"}};
  const std::string body(40000, 'b');  // more than one read of the body stream
  ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.GetAddressOf()), S_OK);
  ULONG written = 0;
  stream->Write(body.data(), static_cast<ULONG>(body.size()), &written);
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  args->request->content = stream;
  loader_.web_view().on_request->Invoke(nullptr, args.Get());
  ASSERT_NE(args->response_given(), nullptr);
  EXPECT_EQ(args->response_given()->status, 200);
  EXPECT_EQ(args->response_given()->headers.rfind(L"content-type: image/svg+xml\r\n", 0), 0u);
}

TEST_F(StandInRuntime, UnreadableRequestIsABadRequestWithNoBody) {
  open_ok();
  auto failing = com::make<FakeRequestArgs>();
  failing->request->uri_result = E_FAIL;
  loader_.web_view().on_request->Invoke(nullptr, failing.Get());
  auto lone_surrogate = request(L"http://devtools.localhost/\xd800.js");
  for (FakeRequestArgs* args : {failing.Get(), lone_surrogate.Get()}) {
    ASSERT_NE(args->response_given(), nullptr);
    EXPECT_EQ(args->response_given()->status, 400);
    EXPECT_EQ(args->response_given()->reason, L"Bad Request");
    EXPECT_EQ(args->response_given()->headers, L"");
    EXPECT_FALSE(args->response_given()->content);
  }
}

TEST_F(StandInRuntime, ResponseStreamReadsSeeksAndClonesOverTheTable) {
  open_ok();
  const FrontendAsset* page = find_frontend_asset("js_app.html");
  ASSERT_NE(page, nullptr);
  auto args = request(L"http://devtools.localhost/js_app.html");
  ASSERT_NE(args->response_given(), nullptr);
  IStream* stream = args->response_given()->content.Get();
  ASSERT_NE(stream, nullptr);
  STATSTG stat{};
  ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, page->content.size());

  std::uint8_t head[10];
  ULONG n = 0;
  ASSERT_EQ(stream->Read(head, sizeof head, &n), S_OK);
  EXPECT_EQ(bytes({head, n}), bytes(page->content.first(10)));
  ComPtr<IStream> clone;
  ASSERT_EQ(stream->Clone(clone.GetAddressOf()), S_OK);
  EXPECT_EQ(read_all(clone.Get()), bytes(page->content.subspan(10)));
  EXPECT_EQ(read_all(stream), bytes(page->content.subspan(10)));  // its own position

  LARGE_INTEGER back{};
  back.QuadPart = -5;
  ULARGE_INTEGER at{};
  ASSERT_EQ(stream->Seek(back, STREAM_SEEK_END, &at), S_OK);
  EXPECT_EQ(at.QuadPart, page->content.size() - 5);
  EXPECT_EQ(read_all(stream), bytes(page->content.last(5)));
  back.QuadPart = -1;
  EXPECT_NE(stream->Seek(back, STREAM_SEEK_SET, nullptr), S_OK);
  EXPECT_NE(stream->Write("x", 1, nullptr), S_OK);  // read-only

  // Agile, so the engine may read it on a thread of its own.
  ComPtr<IUnknown> agile;
  EXPECT_EQ(stream->QueryInterface(IID_IAgileObject, reinterpret_cast<void**>(agile.GetAddressOf())), S_OK);
  ComPtr<IUnknown> marshal;
  EXPECT_EQ(stream->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(marshal.GetAddressOf())), S_OK);
}

TEST_F(StandInRuntime, DownloadsGoToTheProposedPathWithoutAPrompt) {
  open_ok();
  auto args = com::make<FakeDownloadArgs>();
  ASSERT_EQ(loader_.web_view().on_download->Invoke(nullptr, args.Get()), S_OK);
  EXPECT_EQ(args->result_path, args->proposed);
  EXPECT_EQ(args->handled, TRUE);
  EXPECT_EQ(args->cancelled, std::nullopt);
}

// The runtime's own download list is hidden, so the program says where
// each file went once it is written, or why it was not.
TEST_F(StandInRuntime, ADownloadSaysWhereItWentOnceItEnds) {
  open_ok();
  auto args = com::make<FakeDownloadArgs>();
  ASSERT_EQ(loader_.web_view().on_download->Invoke(nullptr, args.Get()), S_OK);
  const std::string path = win32::narrow(args->proposed);
  EXPECT_TRUE(said_.empty());  // nothing yet: it may still fail
  args->operation->end(COREWEBVIEW2_DOWNLOAD_STATE_COMPLETED);
  EXPECT_EQ(said_, std::vector<std::string>{"vorbek_inspector: saved " + path + "\n"});

  said_.clear();
  auto full = com::make<FakeDownloadArgs>();
  ASSERT_EQ(loader_.web_view().on_download->Invoke(nullptr, full.Get()), S_OK);
  full->operation->end(COREWEBVIEW2_DOWNLOAD_STATE_INTERRUPTED,
                       COREWEBVIEW2_DOWNLOAD_INTERRUPT_REASON_FILE_NO_SPACE);
  EXPECT_EQ(said_, std::vector<std::string>{"vorbek_inspector: not saved " + path +
                                            ": the disk is full\n"});

  // A runtime that gives no operation to follow: said as it starts.
  said_.clear();
  auto older = com::make<FakeDownloadArgs>();
  older->operation = nullptr;
  ASSERT_EQ(loader_.web_view().on_download->Invoke(nullptr, older.Get()), S_OK);
  EXPECT_EQ(said_, std::vector<std::string>{"vorbek_inspector: saving " + path + "\n"});
}

// Every request is decided, none left to the runtime's prompt: several
// downloads in a row for the frontend's own pages, nothing else.
TEST_F(StandInRuntime, PermissionsAreDecidedWithoutAPrompt) {
  open_ok();
  FakeWebView& web_view = loader_.web_view();
  ASSERT_TRUE(web_view.on_permission);
  auto ask = [&](const wchar_t* uri, COREWEBVIEW2_PERMISSION_KIND kind) {
    auto args = com::make<FakePermissionArgs>();
    args->uri = uri;
    args->kind = kind;
    EXPECT_EQ(web_view.on_permission->Invoke(&web_view, args.Get()), S_OK);
    return args->state;
  };
  EXPECT_EQ(ask(L"http://devtools.localhost/", COREWEBVIEW2_PERMISSION_KIND_MULTIPLE_AUTOMATIC_DOWNLOADS),
            COREWEBVIEW2_PERMISSION_STATE_ALLOW);
  EXPECT_EQ(ask(L"https://example.com/", COREWEBVIEW2_PERMISSION_KIND_MULTIPLE_AUTOMATIC_DOWNLOADS),
            COREWEBVIEW2_PERMISSION_STATE_DENY);
  for (auto kind : {COREWEBVIEW2_PERMISSION_KIND_CAMERA, COREWEBVIEW2_PERMISSION_KIND_MICROPHONE,
                    COREWEBVIEW2_PERMISSION_KIND_GEOLOCATION, COREWEBVIEW2_PERMISSION_KIND_NOTIFICATIONS,
                    COREWEBVIEW2_PERMISSION_KIND_CLIPBOARD_READ,
                    COREWEBVIEW2_PERMISSION_KIND_UNKNOWN_PERMISSION}) {
    EXPECT_EQ(ask(L"http://devtools.localhost/", kind), COREWEBVIEW2_PERMISSION_STATE_DENY) << kind;
  }
}

TEST_F(StandInRuntime, WebViewFollowsTheWindowsSizeMoveAndFocus) {
  open_ok();
  FakeController& controller = loader_.controller();
  const HWND container = children().at(0);

  SetWindowPos(window_, nullptr, 0, 0, 1016, 739, SWP_NOMOVE | SWP_NOZORDER);
  MainThread::pump();
  ASSERT_TRUE(controller.bounds);
  EXPECT_TRUE(same(*controller.bounds, client())) << describe(*controller.bounds);
  RECT inside{};
  GetClientRect(container, &inside);
  EXPECT_TRUE(same(inside, client())) << describe(inside);
  EXPECT_GT(client().right, 900);

  // Not resized while minimised; fitted again when restored.
  const int fitted = controller.bounds_set;
  ShowWindow(window_, SW_MINIMIZE);
  MainThread::pump();
  EXPECT_EQ(controller.bounds_set, fitted);
  EXPECT_GT(controller.bounds->right, 900);
  ShowWindow(window_, SW_RESTORE);
  MainThread::pump();
  EXPECT_TRUE(same(*controller.bounds, client())) << describe(*controller.bounds);

  const int notes = controller.position_notes;
  SetWindowPos(window_, nullptr, 90, 70, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  MainThread::pump();
  EXPECT_GT(controller.position_notes, notes);

  const int moves = controller.focus_moves;
  SendMessageW(window_, WM_SETFOCUS, 0, 0);
  EXPECT_GT(controller.focus_moves, moves);
}

TEST_F(StandInRuntime, NoRuntimeIsTheLoadersOwnFailureAndLeavesNothing) {
  loader_.returned = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  auto view = open();
  ASSERT_FALSE(view);
  ASSERT_EQ(view.error().messages().size(), 1u);
  EXPECT_TRUE(view.error().outermost().ends_with(" (os error 2)")) << view.error().outermost();
  EXPECT_EQ(children(), std::vector<HWND>{});
}

TEST_F(StandInRuntime, EveryFailingStepFailsTheSetUpAndLeavesNothing) {
  struct Case {
    const char* what;
    std::function<void(StandInLoader&)> arrange;
    const char* cause;  // the start or end of the outermost cause
    bool controller_made;
  };
  const Case cases[] = {
      {"environment completion", [](StandInLoader& l) { l.completed = E_ACCESSDENIED; },
       " (os error 5)", false},
      {"controller", [](StandInLoader& l) { l.environment->controller_result = E_FAIL; },
       "cannot create the WebView2 controller", false},
      {"setting", [](StandInLoader& l) { l.web_view().settings->failing = "AreDevToolsEnabled"; },
       "cannot disable the developer tools", true},
      {"host script", [](StandInLoader& l) { l.web_view().script_result = E_FAIL; },
       "cannot add the frontend's page scripts", true},
      {"navigation", [](StandInLoader& l) { l.web_view().navigate_result = E_INVALIDARG; },
       "cannot navigate to the frontend URL", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StandInLoader loader;
    c.arrange(loader);
    webview2::Dependencies with_loader = dependencies();
    with_loader.create_environment = loader.entry();
    auto view = webview2::create_webview(window_, INSPECTOR, TARGET, FrontendUrl{FRONTEND_URL, true},
                                         with_loader);
    ASSERT_FALSE(view);
    const std::string& text = view.error().outermost();
    EXPECT_TRUE(text.starts_with(c.cause) || text.ends_with(c.cause)) << text;
    if (std::string(c.what) == "controller") {
      // An HRESULT that wraps no Win32 code is shown as itself.
      ASSERT_EQ(view.error().messages().size(), 2u);
      EXPECT_TRUE(view.error().messages()[1].ends_with(" (HRESULT 0x80004005)"))
          << view.error().messages()[1];
    }
    EXPECT_EQ(children(), std::vector<HWND>{});
    // The engine's side is let go: the controller closed, no handler left,
    // and the window's own procedure alone again.
    EXPECT_EQ(GetWindowLongPtrW(window_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(host_procedure));
    FakeController& controller = loader.controller();
    EXPECT_EQ(controller.closed, c.controller_made);
    EXPECT_FALSE(loader.web_view().any_handler());
    const int fitted = controller.bounds_set;
    static int width = 700;
    width += 10;  // a new size each time, or no WM_SIZE would come
    SetWindowPos(window_, nullptr, 0, 0, width, 500, SWP_NOMOVE | SWP_NOZORDER);
    MainThread::pump();
    EXPECT_EQ(controller.bounds_set, fitted);
  }
}

// The runtime: "The app should retry CreateCoreWebView2Controller upon
// failure, unless the error code is HRESULT_FROM_WIN32(ERROR_INVALID_STATE)",
// preferably from a new environment.
TEST_F(StandInRuntime, AFailedControllerIsTriedAgainFromANewEnvironment) {
  loader_.environment->controller_result = E_FAIL;
  loader_.environment->failing_controllers = 1;
  open_shown();
  EXPECT_EQ(loader_.calls, 2);
  EXPECT_EQ(loader_.controller().visible, TRUE);

  for (HRESULT final : {HRESULT_FROM_WIN32(ERROR_INVALID_STATE), E_ABORT}) {
    StandInLoader loader;
    loader.environment->controller_result = final;
    webview2::Dependencies with_loader = dependencies();
    with_loader.create_environment = loader.entry();
    auto view = webview2::create_webview(window_, INSPECTOR, TARGET, FrontendUrl{FRONTEND_URL, true},
                                         with_loader);
    EXPECT_FALSE(view);
    EXPECT_EQ(loader.calls, 1) << final;
  }
  // Not for ever.
  StandInLoader failing;
  failing.environment->controller_result = E_FAIL;
  webview2::Dependencies with_loader = dependencies();
  with_loader.create_environment = failing.entry();
  EXPECT_FALSE(webview2::create_webview(window_, INSPECTOR, TARGET, FrontendUrl{FRONTEND_URL, true},
                                        with_loader));
  EXPECT_EQ(failing.calls, 3);
}

// file:///C:/... as the frontend names a Windows file: its UTF-8 bytes
// percent-encoded.
std::string file_url(const std::wstring& path) {
  std::string out = "file:///";
  for (unsigned char c : win32::narrow(path)) {
    if (c == '\\') {
      out += '/';
    } else if (std::isalnum(c) || std::strchr(":/.-_", c)) {
      out += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      out += escaped;
    }
  }
  return out;
}

std::wstring write_temp_file(const std::wstring& name, const std::string& content) {
  wchar_t directory[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, directory);
  const std::wstring path = std::wstring(directory) + name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  return path;
}

std::wstring clipboard_text() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return L"(clipboard busy)";
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

// The runtime overwrites a file at the path it is given, so an existing one
// is kept and the next free numbered name is given instead.
TEST_F(StandInRuntime, ADownloadNeverReplacesAFile) {
  open_ok();
  const std::wstring first = write_temp_file(L"vorbek stand-in Heap.heapsnapshot", "old");
  const std::wstring second = write_temp_file(L"vorbek stand-in Heap (1).heapsnapshot", "old");
  auto args = com::make<FakeDownloadArgs>();
  args->proposed = first;
  ASSERT_EQ(loader_.web_view().on_download->Invoke(nullptr, args.Get()), S_OK);
  const std::wstring folder = first.substr(0, first.rfind(L'\\') + 1);
  EXPECT_EQ(args->result_path, folder + L"vorbek stand-in Heap (2).heapsnapshot");
  EXPECT_EQ(args->handled, TRUE);
  EXPECT_EQ(args->cancelled, std::nullopt);
  DeleteFileW(first.c_str());
  DeleteFileW(second.c_str());
}

TEST_F(StandInRuntime, WebMessagesCarryTheHostsRequestsAndAnswers) {
  open_shown();
  FakeWebView& web_view = loader_.web_view();
  auto request = [&](const std::wstring& json) {
    web_view.message(FRONTEND_PAGE, json);
    return web_view.posted.empty() ? std::wstring() : web_view.posted.back();
  };

  // A source map with a non-ASCII name and a NUL in its text, read for the
  // page and answered under the request's number.
  std::string map = "{\"version\":3,\"sources\":[\"t\xC3\xA9.ts\"]}";
  map += '\0';
  map += "end";
  const std::wstring path = write_temp_file(L"vorbek stand-in \u00e9t\u00e9.js.map", map);
  EXPECT_EQ(request(L"{\"request\":\"loadFile\",\"url\":\"" + win32::widen(file_url(path)) +
                    L"\",\"id\":7}"),
            win32::widen("{\"id\":7,\"reply\":{\"text\":"
                         "\"{\\\"version\\\":3,\\\"sources\\\":[\\\"t\xC3\xA9.ts\\\"]}"
                         "\\u0000end\"}}"));
  DeleteFileW(path.c_str());
  const std::string missing = win32::narrow(request(
      L"{\"request\":\"loadFile\",\"url\":\"" + win32::widen(file_url(path)) + L"\",\"id\":8}"));
  // A failure's members come in the JSON library's order.
  EXPECT_TRUE(missing.starts_with("{\"error\":\"cannot read C:/")) << missing;
  // The system's own words for a missing file, then its code.
  EXPECT_NE(missing.find(".js.map: "), std::string::npos) << missing;
  EXPECT_TRUE(missing.ends_with(" (os error 2)\",\"id\":8}")) << missing;

  // The user's files are for the embedded frontend only.
  web_view.message(L"http://127.0.0.1:8080/evil.html",
                   L"{\"request\":\"loadFile\",\"url\":\"file:///C:/users/me/.ssh/id_rsa\",\"id\":9}");
  EXPECT_EQ(web_view.posted.back(), L"{\"error\":\"not the embedded frontend\",\"id\":9}");

  // A message that is not text is no request.
  const size_t answers = web_view.posted.size();
  web_view.message(FRONTEND_PAGE, std::nullopt);
  EXPECT_EQ(web_view.posted.size(), answers);

  EXPECT_EQ(request(L"{\"request\":\"copyText\",\"text\":\"\u03a9 copied\",\"id\":10}"),
            L"{\"id\":10,\"reply\":{}}");
  EXPECT_EQ(clipboard_text(), L"\u03a9 copied");

  // Links go to the user's browser.
  EXPECT_EQ(request(L"{\"request\":\"openLink\",\"url\":\"https://nodejs.org/api/\",\"id\":11}"),
            L"{\"id\":11,\"reply\":{}}");
  EXPECT_EQ(opened_, std::vector<std::string>{"https://nodejs.org/api/"});
}

TEST_F(StandInRuntime, LinksOpenInTheBrowserAndTheWindowStays) {
  open_shown();
  FakeWebView& web_view = loader_.web_view();
  EXPECT_TRUE(web_view.navigate(L"https://nodejs.org/api/")->cancel);
  // A runtime too old to name the kind of a navigation: a click is a click.
  EXPECT_TRUE(web_view.navigate(L"https://nodejs.org/en", COREWEBVIEW2_NAVIGATION_KIND_NEW_DOCUMENT,
                                TRUE, true)
                  ->cancel);
  // A page that moves itself elsewhere is only stopped.
  EXPECT_TRUE(
      web_view.navigate(L"https://example.com/", COREWEBVIEW2_NAVIGATION_KIND_NEW_DOCUMENT, FALSE)
          ->cancel);
  EXPECT_TRUE(web_view.navigate(L"ms-settings:privacy")->cancel);

  // The page never gets a window of ours; a web address opens in the browser.
  for (const wchar_t* uri : {L"https://github.com/", L"javascript:alert(1)"}) {
    auto popup = com::make<FakeNewWindowArgs>();
    popup->uri = uri;
    web_view.on_new_window->Invoke(&web_view, popup.Get());
    EXPECT_EQ(popup->handled, TRUE) << win32::narrow(uri);
  }
  // The runtime blocks no popup itself: one the user did not ask for opens
  // nothing, not even the browser.
  auto unasked = com::make<FakeNewWindowArgs>();
  unasked->uri = L"https://example.com/ad";
  unasked->user_initiated = FALSE;
  web_view.on_new_window->Invoke(&web_view, unasked.Get());
  EXPECT_EQ(unasked->handled, TRUE);
  // The shell was not called inside the events, which hold up the page's
  // navigations until they return; the loop calls it.
  EXPECT_EQ(opened_, std::vector<std::string>{});
  MainThread::pump();
  EXPECT_EQ(opened_, (std::vector<std::string>{"https://nodejs.org/api/", "https://nodejs.org/en",
                                               "https://github.com/"}));
  // The refused navigations' cancels showed nothing in the window.
  MainThread::pump();
  EXPECT_EQ(web_view.navigations, std::vector<std::wstring>{FRONTEND_PAGE});
  EXPECT_EQ(web_view.document_uri, FRONTEND_PAGE);

  // The frontend's own origin stays in the window.
  EXPECT_FALSE(web_view.navigate(L"http://devtools.localhost/Images/3d-center.svg")->cancel);
  EXPECT_EQ(web_view.document_uri, L"http://devtools.localhost/Images/3d-center.svg");
}

TEST_F(StandInRuntime, AReloadReconnectsThroughDiscovery) {
  open_shown();
  FakeWebView& web_view = loader_.web_view();
  const FrontendAsset* page = find_frontend_asset("js_app.html");
  ASSERT_NE(page, nullptr);

  // The engine's reload (F5, the frontend's Reconnect button) asks the
  // inspector again for its current target.
  EXPECT_TRUE(web_view.navigate(FRONTEND_PAGE, COREWEBVIEW2_NAVIGATION_KIND_RELOAD)->cancel);
  const std::wstring next =
      L"http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/b7d1&experiments=true&v8only=true";
  ASSERT_TRUE(pump_until([&] { return web_view.document_uri == next; }));
  EXPECT_EQ(discovered_at(), std::vector<std::string>{INSPECTOR});
  EXPECT_EQ(web_view.navigations, (std::vector<std::wstring>{FRONTEND_PAGE, next}));
  EXPECT_EQ(web_view.document, std::string(page->content.begin(), page->content.end()));

  // The bridge's request does the same.
  web_view.message(next, L"{\"request\":\"reconnect\",\"id\":1}");
  EXPECT_EQ(web_view.posted.back(), L"{\"id\":1,\"reply\":{}}");
  ASSERT_TRUE(pump_until([&] { return web_view.navigations.size() == 3; }));

  // With the inspector gone the page says so, under the frontend's address
  // and its own filter; reloading it tries again.
  discovered_.reset();
  web_view.navigate(next, COREWEBVIEW2_NAVIGATION_KIND_RELOAD);
  ASSERT_TRUE(pump_until(
      [&] { return web_view.document.find("Cannot reconnect to the inspector") != std::string::npos; }));
  EXPECT_EQ(web_view.document_uri, next);
  EXPECT_NE(web_view.document.find("failed to read inspector targets"), std::string::npos);
  EXPECT_EQ(web_view.filters.size(), 2u);  // the frontend's and the backstop
  discovered_ = "127.0.0.1:9229/c0de";
  EXPECT_TRUE(web_view.navigate(next, COREWEBVIEW2_NAVIGATION_KIND_RELOAD)->cancel);
  ASSERT_TRUE(pump_until([&] {
    return web_view.document_uri ==
           L"http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/c0de&experiments=true&v8only=true";
  }));

  // Closed while a discovery runs: the view waits for it, and what it found
  // goes nowhere.
  discovery_delay_ = std::chrono::milliseconds(300);
  web_view.navigate(next, COREWEBVIEW2_NAVIGATION_KIND_RELOAD);
  const size_t loads = web_view.navigations.size();
  view_.reset();
  MainThread::pump();
  EXPECT_EQ(discovered_at().size(), 5u);
  EXPECT_EQ(web_view.navigations.size(), loads);
}

TEST_F(StandInRuntime, ProcessFailureShowsTheCrashPage) {
  open_shown();
  FakeWebView& web_view = loader_.web_view();
  // A frame's or a helper's process: the page goes on.
  web_view.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_FRAME_RENDER_PROCESS_EXITED,
                          COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED, 1);
  web_view.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED,
                          COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED, 1);
  MainThread::pump();
  EXPECT_EQ(web_view.navigations.size(), 1u);

  web_view.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED,
                          COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED,
                          static_cast<int>(0xC0000005));
  ASSERT_TRUE(pump_until(
      [&] { return web_view.document.find("The debugger page crashed") != std::string::npos; }));
  EXPECT_EQ(web_view.document_uri, FRONTEND_PAGE);
  EXPECT_NE(web_view.document.find("the web process crashed (exit code 0xC0000005)"),
            std::string::npos);
  // The crash page's own process ending brings no second page.
  const size_t shown = web_view.navigations.size();
  web_view.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED,
                          COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED, 0);
  MainThread::pump();
  EXPECT_EQ(web_view.navigations.size(), shown);

  // Its reload reconnects.
  EXPECT_TRUE(web_view.navigate(FRONTEND_PAGE, COREWEBVIEW2_NAVIGATION_KIND_RELOAD)->cancel);
  const std::wstring next =
      L"http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/b7d1&experiments=true&v8only=true";
  ASSERT_TRUE(pump_until([&] { return web_view.document_uri == next; }));
  const std::string frontend = web_view.document;

  // A page that stops responding may only be busy: the frontend stays, with
  // its state, however often the runtime says so. Only its end shows the
  // crash page.
  web_view.stop_responding(3);
  EXPECT_EQ(web_view.document, frontend);
  web_view.process_failed(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED,
                          COREWEBVIEW2_PROCESS_FAILED_REASON_UNRESPONSIVE, 1);
  ASSERT_TRUE(pump_until([&] {
    return web_view.document.find("The debugger page crashed") != std::string::npos;
  }));
  EXPECT_EQ(web_view.document_uri, next);
}

TEST_F(StandInRuntime, FailedLoadShowsTheErrorPageAndCancelsShowNothing) {
  const std::wstring page = L"http://127.0.0.1:8089/inspector.html?ws=127.0.0.1:9229/0f2c";
  FakeWebView& web_view = loader_.web_view();
  web_view.unreachable[page] = COREWEBVIEW2_WEB_ERROR_STATUS_CANNOT_CONNECT;
  open_ok(win32::narrow(page), false);
  ASSERT_TRUE(pump_until(
      [&] { return web_view.document.find("The page could not be loaded") != std::string::npos; }));
  EXPECT_EQ(web_view.document_uri, page);
  EXPECT_NE(web_view.document.find(win32::narrow(page)), std::string::npos);
  EXPECT_NE(web_view.document.find("cannot connect to the server"), std::string::npos);
  // Served once, through a filter of its own that is gone again.
  ASSERT_EQ(web_view.removed_filters.size(), 1u);
  EXPECT_EQ(web_view.removed_filters[0].uri, L"http://127.0.0.1:8089/*");
  EXPECT_EQ(web_view.removed_filters[0].context, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT);
  EXPECT_EQ(web_view.filters.size(), 1u);

  // Its reload asks the address itself again, and the server is up now.
  web_view.unreachable.clear();
  EXPECT_FALSE(web_view.navigate(page, COREWEBVIEW2_NAVIGATION_KIND_RELOAD)->cancel);
  EXPECT_EQ(web_view.document, "network");

  // A server's own error page is its answer, shown as it is.
  const std::wstring missing = L"http://127.0.0.1:8089/missing.html";
  web_view.http_errors[missing] = 404;
  EXPECT_FALSE(web_view.navigate(missing)->cancel);
  MainThread::pump();
  EXPECT_EQ(web_view.document_uri, missing);
  EXPECT_EQ(web_view.document, "network");

  // Cancelled on purpose: one the next navigation replaced, one the host
  // refused; neither shows a page.
  const size_t loads = web_view.navigations.size();
  auto replaced = com::make<FakeStartingArgs>();
  replaced->uri = L"http://127.0.0.1:8089/slow.html";
  replaced->id = ++web_view.last_id;
  web_view.on_starting->Invoke(&web_view, replaced.Get());
  EXPECT_FALSE(replaced->cancel);
  web_view.complete(replaced->id, FALSE, COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED);
  auto refused = com::make<FakeStartingArgs>();
  refused->uri = L"https://example.com/";
  refused->id = ++web_view.last_id;
  web_view.on_starting->Invoke(&web_view, refused.Get());
  EXPECT_TRUE(refused->cancel);
  web_view.complete(refused->id, FALSE, COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_ABORTED);
  MainThread::pump();
  EXPECT_EQ(web_view.navigations.size(), loads);
  EXPECT_EQ(web_view.document_uri, missing);
}

TEST_F(StandInRuntime, OwnNavigationIsKnownWhateverTheEngineMakesOfItsAddress) {
  // Quotes, spaces, angle brackets and non-ASCII in the query read otherwise
  // once the engine has canonicalised them.
  const std::string url = std::string(FRONTEND_URL) + "&note=\"a b\"<c>\xC3\xA9";
  open_shown(url);
  FakeWebView& web_view = loader_.web_view();
  EXPECT_EQ(web_view.document_uri, canonical(win32::widen(url)));
  EXPECT_NE(web_view.document_uri, win32::widen(url));
  const FrontendAsset* page = find_frontend_asset("js_app.html");
  EXPECT_EQ(web_view.document, std::string(page->content.begin(), page->content.end()));
  // Taken for the host's own, not for the user's reload of the frontend.
  MainThread::pump();
  EXPECT_EQ(web_view.navigations.size(), 1u);
  EXPECT_TRUE(discovered_at().empty());
}

TEST_F(StandInRuntime, AFrontendTheServerRedirectsIsFollowed) {
  const std::wstring named = L"http://127.0.0.1:8080/js_app.html?ws=127.0.0.1:9229/0f2c";
  const std::wstring moved = L"https://127.0.0.1:8443/js_app.html?ws=127.0.0.1:9229/0f2c";
  loader_.web_view().redirects[named] = moved;
  open_shown(win32::narrow(named), false);
  FakeWebView& web_view = loader_.web_view();
  EXPECT_EQ(web_view.document_uri, moved);
  EXPECT_EQ(web_view.document, "network");
  EXPECT_TRUE(opened_.empty());
}

TEST_F(StandInRuntime, AfterTheEnginesBrowserProcessEndsANewWebViewShowsTheCrashPage) {
  open_shown();
  ComPtr<FakeEnvironment> old = loader_.end_browser_process();
  FakeWebView& web_view = loader_.web_view();
  ASSERT_TRUE(pump_until(
      [&] { return web_view.document.find("The debugger page crashed") != std::string::npos; }));
  EXPECT_NE(web_view.document.find("the web engine ended unexpectedly"), std::string::npos);
  EXPECT_EQ(loader_.calls, 2);
  // The closed one is let go.
  EXPECT_TRUE(old->controller->closed);
  EXPECT_FALSE(old->controller->web_view->any_handler());
  EXPECT_EQ(loader_.controller().visible, TRUE);

  // Reload reconnects, in the new web view.
  EXPECT_TRUE(web_view.navigate(FRONTEND_PAGE, COREWEBVIEW2_NAVIGATION_KIND_RELOAD)->cancel);
  ASSERT_TRUE(pump_until([&] {
    return web_view.document_uri ==
           L"http://devtools.localhost/js_app.html?ws=127.0.0.1:9229/b7d1&experiments=true"
           L"&v8only=true";
  }));
  EXPECT_EQ(discovered_at().size(), 1u);
}

// restart_engine waits for the new engine by running the loop, so a
// discovery's result can come due before there is a web view to load it in.
TEST_F(StandInRuntime, AResultThatComesDueWhileTheEngineRestartsIsDroppedForTheCrashPage) {
  open_shown();
  const HWND container = children().at(0);
  discovery_delay_ = std::chrono::milliseconds(100);
  FakeWebView& first = loader_.web_view();
  EXPECT_TRUE(first.navigate(FRONTEND_PAGE, COREWEBVIEW2_NAVIGATION_KIND_RELOAD)->cancel);
  loader_.while_creating = [&] {
    // The discovery's result queued for the container, behind the restart.
    MSG message;
    for (int round = 0; round < 250; ++round) {
      if (PeekMessageW(&message, container, 0, 0, PM_NOREMOVE)) return;
      Sleep(20);
    }
    ADD_FAILURE() << "the discovery's result never came";
  };
  ComPtr<FakeEnvironment> old = loader_.end_browser_process();
  FakeWebView& web_view = loader_.web_view();
  ASSERT_TRUE(pump_until(
      [&] { return web_view.document.find("The debugger page crashed") != std::string::npos; }));
  loader_.while_creating = nullptr;
  EXPECT_EQ(discovered_at().size(), 1u);
  EXPECT_EQ(first.navigations, std::vector<std::wstring>{FRONTEND_PAGE});
  // The crash page's Reload asks again, in the new web view.
  EXPECT_TRUE(web_view.navigate(FRONTEND_PAGE, COREWEBVIEW2_NAVIGATION_KIND_RELOAD)->cancel);
  ASSERT_TRUE(pump_until([&] {
    return discovered_at().size() == 2u && web_view.document_uri.find(L"b7d1") != std::wstring::npos;
  }));
}

TEST_F(StandInRuntime, AnOlderRuntimeServesTheFrontendThroughTheOlderFilter) {
  loader_.web_view().answers_v22 = false;
  open_shown();
  FakeWebView& web_view = loader_.web_view();
  ASSERT_EQ(web_view.filters.size(), 2u);
  EXPECT_EQ(web_view.filters[0].uri, L"http://devtools.*");
  EXPECT_EQ(web_view.filters[0].context, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
  EXPECT_EQ(web_view.filters[0].sources, std::nullopt);
  EXPECT_EQ(web_view.filters[1].uri, L"*");
  EXPECT_EQ(web_view.filters[1].sources, std::nullopt);
  EXPECT_EQ(web_view.document_uri, FRONTEND_PAGE);
  EXPECT_NE(web_view.document, "network");
}

TEST_F(StandInRuntime, AFrontendRequestThatCannotBeAnsweredGetsAnErrorNotTheNetwork) {
  open_shown();
  loader_.environment->failing_responses = 1;
  auto found = request(L"http://devtools.localhost/js_app.html");
  ASSERT_NE(found->response_given(), nullptr);
  EXPECT_EQ(found->response_given()->status, 500);
}

// Only that the header and the backstop are set; the runtime's keeping to
// them is not shown here.
TEST_F(StandInRuntime, EmbeddedFrontendCarriesItsPolicyAndOtherOriginsAreRefused) {
  open_shown();
  FakeWebView& web_view = loader_.web_view();

  auto page = web_view.raise_request(FRONTEND_PAGE, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT);
  ASSERT_TRUE(page && page->response_given());
  EXPECT_EQ(page->response_given()->status, 200);
  const std::string headers = win32::narrow(page->response_given()->headers);
  const std::size_t policy = headers.find("content-security-policy: ");
  ASSERT_NE(policy, std::string::npos) << headers;
  const std::string line = headers.substr(policy, headers.find("\r\n", policy) - policy);
  EXPECT_NE(line.find("default-src 'none'"), std::string::npos) << line;
  EXPECT_NE(line.find("ws://127.0.0.1:9229"), std::string::npos) << line;
  // Its own origin is served as before, the body from the table.
  auto script = web_view.raise_request(L"http://devtools.localhost/entrypoints/js_app/js_app.js",
                                       COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SCRIPT);
  ASSERT_TRUE(script && script->response_given());
  EXPECT_EQ(script->response_given()->status, 200);
  EXPECT_TRUE(script->response_given()->content);

  // Anything else, whatever asks for it, fails with no body and no header.
  for (const auto& [uri, context] :
       {std::pair{L"http://127.0.0.1:9/x", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH},
        std::pair{L"https://example.invalid/", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_IMAGE},
        std::pair{L"file:///C:/secret.txt", COREWEBVIEW2_WEB_RESOURCE_CONTEXT_XML_HTTP_REQUEST}}) {
    auto refused = web_view.raise_request(uri, context);
    ASSERT_TRUE(refused && refused->response_given()) << win32::narrow(uri);
    EXPECT_EQ(refused->response_given()->status, 403) << win32::narrow(uri);
    EXPECT_EQ(refused->response_given()->headers, L"");
    EXPECT_FALSE(refused->response_given()->content);
  }
}

TEST_F(StandInRuntime, AFrontendTheUserNamedHasNoPolicyAndNothingRefused) {
  open_shown(FRONTEND_URL, false);
  FakeWebView& web_view = loader_.web_view();
  auto page = web_view.raise_request(FRONTEND_PAGE, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT);
  ASSERT_TRUE(page && page->response_given());
  EXPECT_EQ(page->response_given()->status, 200);
  EXPECT_EQ(win32::narrow(page->response_given()->headers).find("content-security-policy"),
            std::string::npos);
  for (const wchar_t* uri : {L"http://127.0.0.1:9/x", L"https://example.invalid/"}) {
    auto other = web_view.raise_request(uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH);
    EXPECT_TRUE(!other || !other->response_given()) << win32::narrow(uri);
  }
}

}  // namespace
}  // namespace vorbek
