// The web view on WebKitGTK: the frontend scheme, the settings the user sees
// and the first navigation.
#include <string>
#include <utility>

#include "ascii.h"
#include "console.h"
#include "download_name.h"
#include "error.h"
#include "frontend_url.h"
#include "glib_ptr.h"
#include "gtk_api.h"
#include "link_policy.h"
#include "local_resource.h"
#include "locale_tag.h"
#include "page_scripts.h"
#include "scheme_handler.h"
#include "url_rewrite.h"
#include "webkit_api.h"
#include "webview.h"

namespace vorbek {

struct WebView {
  WebEngine engine;
  GtkWidget* widget = nullptr;  // owned by the window it fills
  GtkWindow* window = nullptr;
  std::string frontend_uri;     // the page the view was opened on
};

void WebViewDelete::operator()(WebView* view) const { delete view; }

namespace {

std::vector<std::uint8_t> read_body(GInputStream* stream) {
  std::vector<std::uint8_t> body;
  if (!stream) return body;
  std::uint8_t chunk[16384];
  for (;;) {
    gssize n = toolkit().g_input_stream_read(stream, chunk, sizeof chunk, nullptr, nullptr);
    if (n <= 0) break;
    body.insert(body.end(), chunk, chunk + n);
  }
  return body;
}

HttpRequest read_request(const WebKitApi& wk, WebKitURISchemeRequest* request, const char* uri) {
  HttpRequest out;
  const char* method = wk.webkit_uri_scheme_request_get_http_method(request);
  out.method = method ? method : "GET";
  out.uri = frontend_url_for_request(uri);
  out.version = "HTTP/1.1";  // the engine does not say; its requests are 1.1
  if (SoupMessageHeaders* headers = wk.webkit_uri_scheme_request_get_http_headers(request)) {
    SoupMessageHeadersIter iter;
    wk.soup_message_headers_iter_init(&iter, headers);
    const char* name;
    const char* value;
    while (wk.soup_message_headers_iter_next(&iter, &name, &value)) {
      out.headers.emplace_back(name, value);
    }
  }
  GObjectPtr<GInputStream> body(wk.webkit_uri_scheme_request_get_http_body(request));
  out.body = read_body(body.get());
  return out;
}

void answer(const WebKitApi& wk, WebKitURISchemeRequest* request, const HttpResponse& response) {
  // The body points into static storage, so the stream borrows it.
  GObjectPtr<GInputStream> body(toolkit().g_memory_input_stream_new_from_data(
      response.body.data(), static_cast<gssize>(response.body.size()), nullptr));
  GObjectPtr<WebKitURISchemeResponse> reply(
      wk.webkit_uri_scheme_response_new(body.get(), static_cast<gint64>(response.body.size())));
  std::string reason(reason_phrase(response.status));
  wk.webkit_uri_scheme_response_set_status(reply.get(), static_cast<guint>(response.status),
                                           reason.c_str());
  SoupMessageHeaders* headers = wk.soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  for (const auto& [name, value] : response.headers) {
    wk.soup_message_headers_append(headers, name.c_str(), value.c_str());
  }
  wk.webkit_uri_scheme_response_set_http_headers(reply.get(), headers);  // takes ownership
  wk.webkit_uri_scheme_request_finish_with_response(request, reply.get());
}

void on_scheme_request(WebKitURISchemeRequest* request, gpointer data) {
  const WebKitApi& wk = static_cast<WebView*>(data)->engine.api;
  const char* uri = wk.webkit_uri_scheme_request_get_uri(request);
  if (!uri) {
    answer(wk, request, HttpResponse{400, {}, {}});
    return;
  }
  std::string webview_id;
  if (WebKitWebView* asking = wk.webkit_uri_scheme_request_get_web_view(request)) {
    webview_id = std::to_string(wk.webkit_web_view_get_page_id(asking));
  }
  serve_frontend_request(webview_id, read_request(wk, request, uri),
                         [&](HttpResponse response) { answer(wk, request, response); });
}

// The user's download directory (see download_directory_for). It is made
// when missing, or the engine would fail the download.
std::string download_directory() {
  const GtkApi& gtk = toolkit();
  const char* configured = gtk.g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
  std::string directory =
      download_directory_for(configured ? configured : "", gtk.g_get_home_dir());
  gtk.g_mkdir_with_parents(directory.c_str(), 0755);
  return directory;
}

// The engine's own choice, the suggested name in the user's download
// directory, except that an existing file is never replaced.
gboolean on_decide_destination(WebKitDownload* download, gchar* suggested_name, gpointer data) {
  const WebKitApi& wk = static_cast<WebView*>(data)->engine.api;
  const GtkApi& gtk = toolkit();
  const std::string directory = download_directory();
  constexpr int MAX_NUMBER = 9999;
  GCharPtr path;
  for (int number = 0; number <= MAX_NUMBER; ++number) {
    std::string name = numbered_file_name(suggested_name ? suggested_name : "", number);
    path.reset(gtk.g_build_filename(directory.c_str(), name.c_str(), nullptr));
    if (!gtk.g_file_test(path.get(), G_FILE_TEST_EXISTS)) break;
  }
  // With every name taken the engine fails the download rather than overwrite.
  wk.webkit_download_set_destination(download, path.get());
  return TRUE;
}

void on_download_started(WebKitWebContext*, WebKitDownload* download, gpointer data) {
  connect_signal(download, "decide-destination", G_CALLBACK(on_decide_destination), data);
}

// The first of the user's message languages (LANGUAGE, LC_ALL, LC_MESSAGES,
// LANG) that names a language.
std::optional<std::string> user_interface_language() {
  for (const char* const* name = toolkit().g_get_language_names(); *name; ++name) {
    if (auto tag = language_tag_for_locale(*name)) return tag;
  }
  return std::nullopt;
}

// WebKit's WebDriver starts the browser with WEBKIT_INSPECTOR_SERVER set and
// drives it through that server; only then is a session accepted, and it
// drives the window's one web view. A normal run allows no automation.
bool started_by_webdriver() { return toolkit().g_getenv("WEBKIT_INSPECTOR_SERVER") != nullptr; }

GtkWidget* on_automation_web_view(WebKitAutomationSession*, gpointer data) {
  return static_cast<WebView*>(data)->widget;
}

void on_automation_started(WebKitWebContext*, WebKitAutomationSession* session, gpointer data) {
  connect_signal(session, "create-web-view", G_CALLBACK(on_automation_web_view), data);
}

void set_up_context(WebView& view, WebKitWebContext* context) {
  const WebKitApi& wk = view.engine.api;
  const std::string scheme(SCHEME_NAME);
  wk.webkit_web_context_register_uri_scheme(context, scheme.c_str(), on_scheme_request, &view,
                                            nullptr);
  // A secure context, like http://devtools.localhost elsewhere. Same-origin
  // module and fetch loads need no CORS registration.
  WebKitSecurityManager* security = wk.webkit_web_context_get_security_manager(context);
  wk.webkit_security_manager_register_uri_scheme_as_secure(security, scheme.c_str());

  connect_signal(context, "download-started", G_CALLBACK(on_download_started), &view);

  // Every byte comes from memory already, but the page's preloaded modules
  // must stay in a memory cache until their imports ask for them; the
  // document-viewer model has none and fetches each module twice.
  wk.webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_BROWSER);

  if (started_by_webdriver()) {
    wk.webkit_web_context_set_automation_allowed(context, TRUE);
    connect_signal(context, "automation-started", G_CALLBACK(on_automation_started), &view);
  }

  if (auto language = user_interface_language()) {
    const char* languages[] = {language->c_str(), nullptr};
    wk.webkit_web_context_set_preferred_languages(context, languages);
  }
}


constexpr const char* COPY_TEXT_HANDLER = "vorbekCopyText";

void on_copy_text(WebKitUserContentManager*, WebKitJavascriptResult* message, gpointer data) {
  const WebKitApi& wk = static_cast<WebView*>(data)->engine.api;
  JSCValue* value = wk.webkit_javascript_result_get_js_value(message);
  if (!value || !wk.jsc_value_is_string(value)) return;
  GCharPtr text(wk.jsc_value_to_string(value));
  const GtkApi& gtk = toolkit();
  gtk.gtk_clipboard_set_text(gtk.gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text.get(), -1);
}

constexpr const char* LOAD_FILE_HANDLER = "vorbekLoadFile";

// Answers the page's file:// loads with the file's text or a failure the
// frontend shows. Only the embedded frontend gets an answer: a frontend from
// elsewhere has no business reading the user's files through us.
gboolean on_load_file(WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* reply,
                      gpointer data) {
  const auto& view = *static_cast<WebView*>(data);
  const WebKitApi& wk = view.engine.api;
  const char* page = wk.webkit_web_view_get_uri(reinterpret_cast<WebKitWebView*>(view.widget));
  const std::string own_origin = std::string(SCHEME_NAME) + "://";
  if (!page || !starts_with_ignoring_ascii_case(page, own_origin)) {
    wk.webkit_script_message_reply_return_error_message(reply, "not the embedded frontend");
    return TRUE;
  }
  if (!value || !wk.jsc_value_is_string(value)) {
    wk.webkit_script_message_reply_return_error_message(reply, "the address is not a string");
    return TRUE;
  }
  GCharPtr url(wk.jsc_value_to_string(value));
  auto content = read_local_resource(url.get());
  if (!content) {
    const std::string message = describe_for_frontend(content.error());
    wk.webkit_script_message_reply_return_error_message(reply, message.c_str());
    return TRUE;
  }
  // From bytes: the text may hold a NUL, which a C string would end at.
  GBytesPtr bytes(toolkit().g_bytes_new(content->data(), content->size()));
  GObjectPtr<JSCValue> text(
      wk.jsc_value_new_string_from_bytes(wk.jsc_value_get_context(value), bytes.get()));
  wk.webkit_script_message_reply_return_value(reply, text.get());
  return TRUE;
}

// Only for pages of the embedded frontend's origin; any other frontend
// runs as it was written.
void add_frontend_compat_script(WebView& view, WebKitWebView* web_view) {
  const WebKitApi& wk = view.engine.api;
  WebKitUserContentManager* content = wk.webkit_web_view_get_user_content_manager(web_view);
  const std::string copy_signal = std::string("script-message-received::") + COPY_TEXT_HANDLER;
  connect_signal(content, copy_signal.c_str(), G_CALLBACK(on_copy_text), &view);
  wk.webkit_user_content_manager_register_script_message_handler(content, COPY_TEXT_HANDLER);
  const std::string load_signal =
      std::string("script-message-with-reply-received::") + LOAD_FILE_HANDLER;
  connect_signal(content, load_signal.c_str(), G_CALLBACK(on_load_file), &view);
  wk.webkit_user_content_manager_register_script_message_handler_with_reply(
      content, LOAD_FILE_HANDLER, nullptr);
  const std::string origin_pattern = std::string(SCHEME_NAME) + "://*/*";
  const char* allow[] = {origin_pattern.c_str(), nullptr};
  WebKitUserScript* script = wk.webkit_user_script_new(
      FRONTEND_COMPAT_SCRIPT, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, allow, nullptr);
  wk.webkit_user_content_manager_add_script(content, script);
  wk.webkit_user_script_unref(script);
}

// Links the frontend opens go to the user's browser. Nothing in the window
// could show a failure, so it is reported on stderr.
void open_in_browser(const WebView& view, const char* uri) {
  GError* raw_error = nullptr;
  if (!toolkit().gtk_show_uri_on_window(view.window, uri, GDK_CURRENT_TIME, &raw_error)) {
    GErrorPtr error(raw_error);
    write_stderr(format_failure_report(
        Error(error->message).wrap(std::string("cannot open ") + uri + " in a browser")));
  }
}

const char* action_uri(const WebKitApi& wk, WebKitNavigationAction* action) {
  WebKitURIRequest* request = wk.webkit_navigation_action_get_request(action);
  const char* uri = request ? wk.webkit_uri_request_get_uri(request) : nullptr;
  return uri ? uri : "";
}

// The window shows the frontend and nothing else: a navigation away from it
// is stopped, and a link the user clicked opens in the browser instead. New
// windows ("Learn more", documentation) open in the browser too.
gboolean on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision,
                          WebKitPolicyDecisionType type, gpointer data) {
  const auto& view = *static_cast<WebView*>(data);
  const WebKitApi& wk = view.engine.api;
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
      type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    return FALSE;
  }
  // A plain cast, as for the view: the checked one would link the engine.
  auto* navigation = reinterpret_cast<WebKitNavigationPolicyDecision*>(decision);
  WebKitNavigationAction* action =
      wk.webkit_navigation_policy_decision_get_navigation_action(navigation);
  const char* uri = action_uri(wk, action);
  LinkTarget target = link_target(view.frontend_uri, uri);
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && target == LinkTarget::Window) {
    return FALSE;
  }
  bool clicked = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION ||
                 wk.webkit_navigation_action_get_navigation_type(action) ==
                     WEBKIT_NAVIGATION_TYPE_LINK_CLICKED;
  if (target == LinkTarget::Browser && clicked) open_in_browser(view, uri);
  wk.webkit_policy_decision_ignore(decision);
  return TRUE;
}

// window.open: the page gets no window of ours; a web address opens in the
// browser.
GtkWidget* on_create(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
  const auto& view = *static_cast<WebView*>(data);
  const char* uri = action_uri(view.engine.api, action);
  if (link_target(view.frontend_uri, uri) == LinkTarget::Browser) open_in_browser(view, uri);
  return nullptr;
}

void apply_settings(const WebKitApi& wk, WebKitWebView* web_view) {
  WebKitSettings* settings = wk.webkit_web_view_get_settings(web_view);
  wk.webkit_settings_set_enable_developer_extras(settings, FALSE);
  wk.webkit_settings_set_media_playback_requires_user_gesture(settings, FALSE);
  // The frontend is flat DOM, text and 2D canvas; painting it on the CPU
  // spares the web process the GL stack, which costs start-up time and
  // memory and on a machine without a GPU renders in software anyway.
  wk.webkit_settings_set_hardware_acceleration_policy(settings,
                                                      WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
}

}  // namespace

Result<WebViewPtr> create_webview(NativeWindow* native, const std::string& frontend_url) {
  auto* window = reinterpret_cast<GtkWindow*>(native);
  const GtkApi& gtk = toolkit();
  auto engine = load_web_engine();
  if (!engine) return std::move(engine).error();

  // The engine would not navigate to anything but an absolute URI.
  GError* raw_error = nullptr;
  if (!gtk.g_uri_is_valid(frontend_url.c_str(), G_URI_FLAGS_PARSE_RELAXED, &raw_error)) {
    GErrorPtr invalid(raw_error);
    return Error(std::string("cannot navigate to the frontend URL: ") + invalid->message);
  }

  WebViewPtr view(
      new WebView{std::move(engine).value(), nullptr, window, engine_url_for(frontend_url)});
  const WebKitApi& wk = view->engine.api;
  WebKitWebContext* context = wk.webkit_web_context_get_default();
  set_up_context(*view, context);

  // Media may play with sound before any user gesture; the engine's own
  // default allows only silent media.
  GObjectPtr<WebKitWebsitePolicies> policies(
      wk.webkit_website_policies_new_with_policies("autoplay", WEBKIT_AUTOPLAY_ALLOW, nullptr));
  view->widget = static_cast<GtkWidget*>(gtk.g_object_new(wk.webkit_web_view_get_type(),
                                                      "web-context", context,
                                                      "website-policies", policies.get(),
                                                      "is-controlled-by-automation",
                                                      started_by_webdriver() ? TRUE : FALSE,
                                                      nullptr));
  // A plain cast: WebKit's checked-cast macros would call its GType
  // functions directly and link the engine.
  auto* web_view = reinterpret_cast<WebKitWebView*>(view->widget);
  apply_settings(wk, web_view);
  add_frontend_compat_script(*view, web_view);
  connect_signal(web_view, "decide-policy", G_CALLBACK(on_decide_policy), view.get());
  connect_signal(web_view, "create", G_CALLBACK(on_create), view.get());

  gtk.gtk_container_add(reinterpret_cast<GtkContainer*>(window), view->widget);
  gtk.gtk_widget_show(view->widget);
  gtk.gtk_widget_grab_focus(view->widget);
  wk.webkit_web_view_load_uri(web_view, view->frontend_uri.c_str());
  return view;
}

}  // namespace vorbek
