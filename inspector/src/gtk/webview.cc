// The web view on WebKitGTK: the frontend scheme, the settings the user sees,
// and the transport between the page, the engine and FrontendHost.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console.h"
#include "download_name.h"
#include "error.h"
#include "frontend_host.h"
#include "frontend_policy.h"
#include "frontend_url.h"
#include "gtk/glib_ptr.h"
#include "gtk/gtk_api.h"
#include "locale_tag.h"
#include "page_scripts.h"
#include "scheme_handler.h"
#include "url_rewrite.h"
#include "gtk/webkit_api.h"
#include "webview.h"

namespace vorbek {

// frontend_compat.js: WebKit's differences from Chromium, mended for the
// embedded frontend.
extern const char FRONTEND_COMPAT_SCRIPT[];

struct WebView {
  WebEngine engine;
  GObjectPtr<WebKitWebContext> context;
  GtkWidget* widget = nullptr;  // owned by the window it fills
  GtkWindow* window = nullptr;
  std::unique_ptr<HostBackend> host_backend;
  std::unique_ptr<FrontendHost> host;  // uses host_backend
  // The engine's own check on the frontend's requests: a content filter,
  // compiled for the current target before a page of it loads.
  std::string filter_rules;
  GObjectPtr<WebKitUserContentFilterStore> filter_store;  // while compiling
  std::optional<std::string> load_after_filter;
  std::string filter_id;  // the current compile's name in the store
  // A compile's callback finds the view through this, and nothing once the
  // view is gone.
  std::shared_ptr<WebView*> self;
  // Downloads under way: where each goes, and whether it failed; the user
  // is told where it went once it ends.
  struct Download {
    std::string path;
    bool failed = false;
  };
  std::map<WebKitDownload*, Download> downloads;
};

void WebViewDelete::operator()(WebView* view) const { delete view; }

namespace {

std::vector<std::uint8_t> read_body(GInputStream* stream) {
  std::vector<std::uint8_t> body;
  if (!stream) return body;
  std::uint8_t chunk[16384];
  for (;;) {
    gssize n = gtk_api().g_input_stream_read(stream, chunk, sizeof chunk, nullptr, nullptr);
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

void respond(const WebKitApi& wk, WebKitURISchemeRequest* request, const HttpResponse& response) {
  // The body points into static storage, so the stream borrows it.
  GObjectPtr<GInputStream> body(gtk_api().g_memory_input_stream_new_from_data(
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
    respond(wk, request, HttpResponse{400, {}, {}});
    return;
  }
  std::string webview_id;
  if (WebKitWebView* asking = wk.webkit_uri_scheme_request_get_web_view(request)) {
    webview_id = std::to_string(wk.webkit_web_view_get_page_id(asking));
  }
  HttpRequest http = read_request(wk, request, uri);
  // The pages' policy goes on in this layer: the handler answers from the
  // table alone.
  const std::string policy = static_cast<WebView*>(data)->host->content_security_policy(http.uri);
  serve_frontend_request(webview_id, std::move(http), [&](HttpResponse response) {
    if (!policy.empty()) response.headers.emplace_back("content-security-policy", policy);
    respond(wk, request, response);
  });
}

// The user's download directory (see download_directory_for). It is made
// when missing, or the engine would fail the download.
std::string download_directory() {
  const GtkApi& gtk = gtk_api();
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
  const GtkApi& gtk = gtk_api();
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
  static_cast<WebView*>(data)->downloads[download].path = path.get();
  return TRUE;
}

// The engine shows no download list here: a saved file is said on stderr.
void on_download_failed(WebKitDownload* download, GError* error, gpointer data) {
  auto& downloads = static_cast<WebView*>(data)->downloads;
  auto found = downloads.find(download);
  if (found == downloads.end() || found->second.path.empty()) return;
  found->second.failed = true;
  write_stderr(download_failed_line(found->second.path, error ? error->message : ""));
}

// Comes after a failure too.
void on_download_finished(WebKitDownload* download, gpointer data) {
  auto& downloads = static_cast<WebView*>(data)->downloads;
  auto found = downloads.find(download);
  if (found == downloads.end()) return;
  if (!found->second.failed && !found->second.path.empty()) {
    write_stderr(download_saved_line(found->second.path));
  }
  downloads.erase(found);
}

void on_download_started(WebKitWebContext*, WebKitDownload* download, gpointer data) {
  static_cast<WebView*>(data)->downloads[download];
  connect_signal(download, "decide-destination", G_CALLBACK(on_decide_destination), data);
  connect_signal(download, "failed", G_CALLBACK(on_download_failed), data);
  connect_signal(download, "finished", G_CALLBACK(on_download_finished), data);
}

// The first of the user's message languages (LANGUAGE, LC_ALL, LC_MESSAGES,
// LANG) that names a language.
std::optional<std::string> user_interface_language() {
  for (const char* const* name = gtk_api().g_get_language_names(); *name; ++name) {
    if (auto tag = language_tag_for_locale(*name)) return tag;
  }
  return std::nullopt;
}

// WebKit's WebDriver starts the browser with WEBKIT_INSPECTOR_SERVER set and
// drives it through that server; only then is a session accepted, and it
// drives the window's one web view. A normal run allows no automation.
bool started_by_webdriver() { return gtk_api().g_getenv("WEBKIT_INSPECTOR_SERVER") != nullptr; }

GtkWidget* on_automation_web_view(WebKitAutomationSession*, gpointer data) {
  return static_cast<WebView*>(data)->widget;
}

void on_automation_started(WebKitWebContext*, WebKitAutomationSession* session, gpointer data) {
  connect_signal(session, "create-web-view", G_CALLBACK(on_automation_web_view), data);
}

// After a console flood the web process keeps memory it no longer uses until
// WebKit releases memory under "strict" pressure, which by default starts at
// 1.5 GB and is checked every 30 s. Strict from 512 MB, checked every 10 s,
// gives a flood's leftovers back while the window idles. A process is never
// killed for its size.
//
// That pressure only frees what is garbage. The page's script engine sizes
// its heap by the machine's memory: on a machine of many gigabytes it lets
// the heap double before a full collection, so the garbage of a console
// flood over the kept messages took the web process past 1.3 GB. Sized as for
// the same 1 GB it peaks near 800 MB. The web process is started later and
// inherits this; a value the user set stays.
constexpr const char* SCRIPT_HEAP_RAM_VARIABLE = "JSC_forceRAMSize";
constexpr const char* SCRIPT_HEAP_RAM_BYTES = "1073741824";

GObjectPtr<WebKitWebContext> new_web_context(const WebKitApi& wk) {
  gtk_api().g_setenv(SCRIPT_HEAP_RAM_VARIABLE, SCRIPT_HEAP_RAM_BYTES, FALSE);
  std::unique_ptr<WebKitMemoryPressureSettings,
                  decltype(wk.webkit_memory_pressure_settings_free)>
      memory(wk.webkit_memory_pressure_settings_new(), wk.webkit_memory_pressure_settings_free);
  wk.webkit_memory_pressure_settings_set_memory_limit(memory.get(), 1024);
  wk.webkit_memory_pressure_settings_set_conservative_threshold(memory.get(), 0.45);
  wk.webkit_memory_pressure_settings_set_strict_threshold(memory.get(), 0.5);
  wk.webkit_memory_pressure_settings_set_poll_interval(memory.get(), 10);
  return GObjectPtr<WebKitWebContext>(static_cast<WebKitWebContext*>(gtk_api().g_object_new(
      wk.webkit_web_context_get_type(), "memory-pressure-settings", memory.get(), nullptr)));
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


// The frontend's requests in WebKit's content-rule form: everything is
// blocked but its own origin, data:, blob:, about: and the target's
// WebSocket. The patterns are regular expressions over the whole URL; the
// origins come from websocket_origin and the program, so they hold no
// character that needs more than a backslash.
std::string content_filter_rules(const std::string& frontend_origin, const std::string& ws_target) {
  auto pattern = [](std::string_view prefix) {
    std::string out = "^";
    for (char c : prefix) {
      const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '/' || c == ':' || c == '-';
      if (!plain) out += "\\\\";  // a regex escape, in a JSON string
      out += c;
    }
    return out;
  };
  auto allow = [](const std::string& filter) {
    return ",{\"trigger\":{\"url-filter\":\"" + filter +
           "\"},\"action\":{\"type\":\"ignore-previous-rules\"}}";
  };
  std::string rules = "[{\"trigger\":{\"url-filter\":\".*\"},\"action\":{\"type\":\"block\"}}";
  rules += allow(pattern(frontend_origin + "/"));
  for (const char* scheme : {"data:", "blob:", "about:"}) rules += allow(pattern(scheme));
  if (std::string socket = websocket_origin(ws_target); !socket.empty()) {
    rules += allow(pattern(socket + "/"));
  }
  return rules + "]";
}

// A name for a rule set's compiled file, of this process alone: another
// instance never removes a file this one is still loading.
std::string filter_identifier(std::string_view rules) {
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : rules) hash = (hash ^ c) * 1099511628211ull;
  char name[48];
  std::snprintf(name, sizeof name, "frontend-%ld-%016llx", static_cast<long>(getpid()),
                static_cast<unsigned long long>(hash));
  return name;
}

// The store finishes a removal only for a caller that waits for it.
void on_filter_removed(GObject*, GAsyncResult*, gpointer) {}

void on_filter_saved(GObject* store, GAsyncResult* result, gpointer data) {
  std::unique_ptr<std::weak_ptr<WebView*>> token(static_cast<std::weak_ptr<WebView*>*>(data));
  std::shared_ptr<WebView*> self = token->lock();
  if (!self) return;  // the task frees what it made
  WebView& view = **self;
  const WebKitApi& wk = view.engine.api;
  GError* raw_error = nullptr;
  WebKitUserContentFilter* filter = wk.webkit_user_content_filter_store_save_finish(
      reinterpret_cast<WebKitUserContentFilterStore*>(store), result, &raw_error);
  // A compile for a target that has since changed: the newer one decides.
  if (reinterpret_cast<gpointer>(store) != view.filter_store.get()) {
    if (filter) wk.webkit_user_content_filter_unref(filter);
    GErrorPtr ignored(raw_error);
    return;
  }
  auto* web_view = reinterpret_cast<WebKitWebView*>(view.widget);
  WebKitUserContentManager* content = wk.webkit_web_view_get_user_content_manager(web_view);
  wk.webkit_user_content_manager_remove_all_filters(content);
  if (filter) {
    wk.webkit_user_content_manager_add_filter(content, filter);
    wk.webkit_user_content_filter_unref(filter);
    // Loaded now; its file is not needed again, and a file a run would
    // leave behind in the cache for every target.
    wk.webkit_user_content_filter_store_remove(view.filter_store.get(), view.filter_id.c_str(),
                                               nullptr, on_filter_removed, nullptr);
  } else {
    // The page's own policy still holds; the window stays usable.
    GErrorPtr error(raw_error);
    write_stderr(format_failure_report(
        Error(error ? error->message : "unknown error")
            .wrap("cannot compile the frontend's request filter")));
  }
  view.filter_store.reset();
  if (auto address = std::exchange(view.load_after_filter, std::nullopt)) {
    wk.webkit_web_view_load_uri(web_view, address->c_str());
  }
}

// The host's backend on GTK and WebKit.
class WebKitHostBackend final : public HostBackend {
 public:
  explicit WebKitHostBackend(WebView& view) : view_(view) {}

  std::string engine_address(std::string_view frontend_url) const override {
    return engine_url_for(frontend_url);
  }
  void load(const std::string& address) override {
    if (view_.filter_store) {
      view_.load_after_filter = address;
      return;
    }
    view_.engine.api.webkit_web_view_load_uri(web_view(), address.c_str());
  }
  void confine_requests(const std::string& frontend_origin, const std::string& ws_target) override {
    std::string rules = content_filter_rules(frontend_origin, ws_target);
    if (rules == view_.filter_rules) return;
    view_.filter_rules = rules;
    const WebKitApi& wk = view_.engine.api;
    const GtkApi& gtk = gtk_api();
    GCharPtr directory(gtk.g_build_filename(gtk.g_get_user_cache_dir(), "vorbek_inspector",
                                            "content-filters", nullptr));
    gtk.g_mkdir_with_parents(directory.get(), 0700);
    // A store for each compile, so that its callback can tell it is done.
    view_.filter_store.reset(wk.webkit_user_content_filter_store_new(directory.get()));
    GBytesPtr source(gtk.g_bytes_new(rules.data(), rules.size()));
    view_.filter_id = filter_identifier(rules);
    wk.webkit_user_content_filter_store_save(view_.filter_store.get(), view_.filter_id.c_str(),
                                             source.get(),
                                             nullptr, on_filter_saved,
                                             new std::weak_ptr<WebView*>(view_.self));
  }
  void show_html(const std::string& html, const std::string& address) override {
    view_.load_after_filter.reset();
    view_.engine.api.webkit_web_view_load_alternate_html(web_view(), html.c_str(),
                                                         address.c_str(), address.c_str());
  }
  void copy_text(const std::string& text) override {
    const GtkApi& gtk = gtk_api();
    gtk.gtk_clipboard_set_text(gtk.gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), text.c_str(),
                               static_cast<gint>(text.size()));
  }
  Status open_in_browser(const std::string& uri) override {
    GError* raw_error = nullptr;
    if (!gtk_api().gtk_show_uri_on_window(view_.window, uri.c_str(), GDK_CURRENT_TIME,
                                          &raw_error)) {
      GErrorPtr error(raw_error);
      return Error(error->message);
    }
    return {};
  }
  // g_idle_add is safe from any thread and wakes the main loop.
  bool post_to_main(std::function<void()> task) override {
    auto owned = std::make_unique<std::function<void()>>(std::move(task));
    gtk_api().g_idle_add_full(G_PRIORITY_DEFAULT, run_posted, owned.release(), delete_posted);
    return true;
  }

 private:
  static gboolean run_posted(gpointer data) {
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_REMOVE;
  }
  static void delete_posted(gpointer data) {
    std::unique_ptr<std::function<void()>>(static_cast<std::function<void()>*>(data));
  }
  WebKitWebView* web_view() const { return reinterpret_cast<WebKitWebView*>(view_.widget); }

  WebView& view_;
};

constexpr const char* HOST_HANDLER = "vorbekHost";

// The page's requests arrive as JSON text through one handler, which
// answers each.
gboolean on_host_message(WebKitUserContentManager*, JSCValue* value,
                         WebKitScriptMessageReply* reply, gpointer data) {
  auto& view = *static_cast<WebView*>(data);
  const WebKitApi& wk = view.engine.api;
  if (!value || !wk.jsc_value_is_string(value)) {
    wk.webkit_script_message_reply_return_error_message(reply, "the request is not text");
    return TRUE;
  }
  GCharPtr request(wk.jsc_value_to_string(value));
  const char* page = wk.webkit_web_view_get_uri(reinterpret_cast<WebKitWebView*>(view.widget));
  view.host->handle_request(page ? page : "", request.get(), [&](HostReply host_reply) {
    if (!host_reply.ok) {
      wk.webkit_script_message_reply_return_error_message(reply, host_reply.text.c_str());
      return;
    }
    // From bytes: a file's text may be large, and no strlen is needed.
    GBytesPtr bytes(gtk_api().g_bytes_new(host_reply.text.data(), host_reply.text.size()));
    GObjectPtr<JSCValue> text(
        wk.jsc_value_new_string_from_bytes(wk.jsc_value_get_context(value), bytes.get()));
    wk.webkit_script_message_reply_return_value(reply, text.get());
  });
  return TRUE;
}

// Every engine's scripts first, then WebKit's mending; all only for pages of
// the embedded frontend's origin: any other frontend runs as it was written.
void add_page_scripts(WebView& view, WebKitWebView* web_view) {
  const WebKitApi& wk = view.engine.api;
  WebKitUserContentManager* content = wk.webkit_web_view_get_user_content_manager(web_view);
  const std::string signal = std::string("script-message-with-reply-received::") + HOST_HANDLER;
  connect_signal(content, signal.c_str(), G_CALLBACK(on_host_message), &view);
  wk.webkit_user_content_manager_register_script_message_handler_with_reply(content, HOST_HANDLER,
                                                                            nullptr);
  const std::string origin_pattern = std::string(SCHEME_NAME) + "://*/*";
  const char* allow[] = {origin_pattern.c_str(), nullptr};
  std::vector<const char*> sources(frontend_page_scripts().begin(), frontend_page_scripts().end());
  sources.push_back(FRONTEND_COMPAT_SCRIPT);
  for (const char* source : sources) {
    WebKitUserScript* script =
        wk.webkit_user_script_new(source, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                  WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, allow, nullptr);
    wk.webkit_user_content_manager_add_script(content, script);
    wk.webkit_user_script_unref(script);
  }
}

const char* action_uri(const WebKitApi& wk, WebKitNavigationAction* action) {
  WebKitURIRequest* request = wk.webkit_navigation_action_get_request(action);
  const char* uri = request ? wk.webkit_uri_request_get_uri(request) : nullptr;
  return uri ? uri : "";
}

NavigationKind navigation_kind(WebKitNavigationType type) {
  switch (type) {
    case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED: return NavigationKind::LinkClicked;
    case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED:
    case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED: return NavigationKind::FormSubmitted;
    case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD: return NavigationKind::BackForward;
    case WEBKIT_NAVIGATION_TYPE_RELOAD: return NavigationKind::Reload;
    default: return NavigationKind::Other;
  }
}

gboolean on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision,
                          WebKitPolicyDecisionType type, gpointer data) {
  auto& view = *static_cast<WebView*>(data);
  const WebKitApi& wk = view.engine.api;
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
      type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    return FALSE;
  }
  // A plain cast, as for the view: the checked one would link the engine.
  auto* navigation = reinterpret_cast<WebKitNavigationPolicyDecision*>(decision);
  WebKitNavigationAction* action =
      wk.webkit_navigation_policy_decision_get_navigation_action(navigation);
  if (view.host->allow_navigation(
          {action_uri(wk, action), navigation_kind(wk.webkit_navigation_action_get_navigation_type(action)),
           type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION})) {
    return FALSE;
  }
  wk.webkit_policy_decision_ignore(decision);
  return TRUE;
}

// window.open: the host decides; the page never gets a window of ours.
GtkWidget* on_create(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
  auto& view = *static_cast<WebView*>(data);
  view.host->allow_navigation({action_uri(view.engine.api, action), NavigationKind::Other, true});
  return nullptr;
}

void on_web_process_terminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                               gpointer data) {
  const char* text = "the web process ended";
  switch (reason) {
    case WEBKIT_WEB_PROCESS_CRASHED: text = "the web process crashed"; break;
    case WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT:
      text = "the web process exceeded its memory limit";
      break;
    case WEBKIT_WEB_PROCESS_TERMINATED_BY_API: text = "the web process was terminated"; break;
  }
  static_cast<WebView*>(data)->host->page_process_ended(text);
}

// Cancelled on purpose: a load stopped for the next one, a navigation the
// host refused or took over, a response turned into a download, a media
// load the engine restarts itself.
bool cancelled_on_purpose(const WebKitApi& wk, const GError* error) {
  return (error->domain == wk.webkit_network_error_quark() &&
          error->code == WEBKIT_NETWORK_ERROR_CANCELLED) ||
         (error->domain == wk.webkit_policy_error_quark() &&
          error->code == WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE) ||
         (error->domain == wk.webkit_plugin_error_quark() &&
          error->code == WEBKIT_PLUGIN_ERROR_WILL_HANDLE_LOAD);
}

gboolean on_load_failed(WebKitWebView*, WebKitLoadEvent, gchar* failing_uri, GError* error,
                        gpointer data) {
  auto& view = *static_cast<WebView*>(data);
  view.host->load_failed({failing_uri ? failing_uri : "", error ? error->message : "",
                          !error || cancelled_on_purpose(view.engine.api, error)});
  return TRUE;  // the engine's own page would be a bare line of text
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

Result<WebViewPtr> create_webview(NativeWindow* native, const std::string& inspector_address,
                                  const InspectorTarget& target, const FrontendUrl& frontend) {
  const std::string& frontend_url = frontend.text;
  auto* window = reinterpret_cast<GtkWindow*>(native);
  const GtkApi& gtk = gtk_api();
  auto engine = load_web_engine();
  if (!engine) return std::move(engine).error();

  // The engine would not navigate to anything but an absolute URI.
  GError* raw_error = nullptr;
  if (!gtk.g_uri_is_valid(frontend_url.c_str(), G_URI_FLAGS_PARSE_RELAXED, &raw_error)) {
    GErrorPtr invalid(raw_error);
    return Error(std::string("cannot navigate to the frontend URL: ") + invalid->message);
  }

  WebViewPtr view(new WebView{std::move(engine).value(), nullptr, nullptr, window, nullptr, nullptr, {}, {}, {}, {}, {}, {}});
  view->self = std::make_shared<WebView*>(view.get());
  view->host_backend = std::make_unique<WebKitHostBackend>(*view);
  view->host = std::make_unique<FrontendHost>(*view->host_backend, inspector_address, target,
                                              frontend);
  const WebKitApi& wk = view->engine.api;
  view->context = new_web_context(wk);
  WebKitWebContext* context = view->context.get();
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
  add_page_scripts(*view, web_view);
  connect_signal(web_view, "decide-policy", G_CALLBACK(on_decide_policy), view.get());
  connect_signal(web_view, "create", G_CALLBACK(on_create), view.get());
  connect_signal(web_view, "web-process-terminated", G_CALLBACK(on_web_process_terminated),
                 view.get());
  connect_signal(web_view, "load-failed", G_CALLBACK(on_load_failed), view.get());

  gtk.gtk_container_add(reinterpret_cast<GtkContainer*>(window), view->widget);
  gtk.gtk_widget_show(view->widget);
  gtk.gtk_widget_grab_focus(view->widget);
  view->host->start();
  return view;
}

}  // namespace vorbek
