// The few web engine functions the web view uses, reached through one table
// filled at run time: the engine is opened with dlopen, never linked, so that
// a missing engine is an ordinary error and --print-url never maps it.
#pragma once

#include <webkit2/webkit2.h>

#include "dynamic_library.h"
#include "error.h"

namespace vorbek {

// Every entry is declared from the installed prototype, so calls through the
// table are checked like direct calls.
#define VORBEK_WEBKIT_FUNCTIONS(X)                        \
  X(webkit_web_context_get_type)                          \
  X(webkit_memory_pressure_settings_new)                  \
  X(webkit_memory_pressure_settings_free)                 \
  X(webkit_memory_pressure_settings_set_memory_limit)     \
  X(webkit_memory_pressure_settings_set_conservative_threshold) \
  X(webkit_memory_pressure_settings_set_strict_threshold) \
  X(webkit_memory_pressure_settings_set_poll_interval)    \
  X(webkit_web_context_get_security_manager)              \
  X(webkit_web_context_register_uri_scheme)               \
  X(webkit_web_context_set_preferred_languages)           \
  X(webkit_web_context_set_cache_model)                   \
  X(webkit_web_context_set_automation_allowed)            \
  X(webkit_security_manager_register_uri_scheme_as_secure) \
  X(webkit_web_view_get_type)                             \
  X(webkit_website_policies_new_with_policies)            \
  X(webkit_web_view_get_settings)                         \
  X(webkit_web_view_get_page_id)                          \
  X(webkit_web_view_load_uri)                             \
  X(webkit_web_view_load_alternate_html)                  \
  X(webkit_web_view_get_user_content_manager)             \
  X(webkit_user_script_new)                               \
  X(webkit_user_script_unref)                             \
  X(webkit_user_content_manager_add_script)               \
  X(webkit_user_content_manager_add_filter)               \
  X(webkit_user_content_manager_remove_all_filters)       \
  X(webkit_user_content_filter_unref)                     \
  X(webkit_user_content_filter_store_new)                 \
  X(webkit_user_content_filter_store_save)                \
  X(webkit_user_content_filter_store_save_finish)         \
  X(webkit_user_content_filter_store_remove)              \
  X(webkit_user_content_manager_register_script_message_handler_with_reply) \
  X(webkit_script_message_reply_return_value)             \
  X(webkit_script_message_reply_return_error_message)     \
  X(webkit_web_view_get_uri)                              \
  X(jsc_value_is_string)                                  \
  X(jsc_value_to_string)                                  \
  X(jsc_value_get_context)                                \
  X(jsc_value_new_string_from_bytes)                      \
  X(webkit_settings_set_enable_developer_extras)          \
  X(webkit_settings_set_media_playback_requires_user_gesture) \
  X(webkit_settings_set_hardware_acceleration_policy)     \
  X(webkit_uri_scheme_request_get_uri)                    \
  X(webkit_uri_scheme_request_get_http_method)            \
  X(webkit_uri_scheme_request_get_http_headers)           \
  X(webkit_uri_scheme_request_get_http_body)              \
  X(webkit_uri_scheme_request_get_web_view)               \
  X(webkit_uri_scheme_request_finish_with_response)       \
  X(webkit_uri_scheme_response_new)                       \
  X(webkit_uri_scheme_response_set_status)                \
  X(webkit_uri_scheme_response_set_http_headers)          \
  X(webkit_download_set_destination)                      \
  X(webkit_policy_decision_ignore)                        \
  X(webkit_navigation_policy_decision_get_navigation_action) \
  X(webkit_navigation_action_get_request)                 \
  X(webkit_navigation_action_get_navigation_type)         \
  X(webkit_uri_request_get_uri)                           \
  X(webkit_network_error_quark)                           \
  X(webkit_policy_error_quark)                            \
  X(webkit_plugin_error_quark)                            \
  X(soup_message_headers_new)                             \
  X(soup_message_headers_append)                          \
  X(soup_message_headers_iter_init)                       \
  X(soup_message_headers_iter_next)

struct WebKitApi {
#define VORBEK_DECLARE_ENTRY(name) decltype(&::name) name = nullptr;
  VORBEK_WEBKIT_FUNCTIONS(VORBEK_DECLARE_ENTRY)
#undef VORBEK_DECLARE_ENTRY
};

// The engine library with its table. The library stays mapped for the life
// of the process once opened: its objects and threads outlive any owner.
struct WebEngine {
  LibraryHandle library;
  WebKitApi api;
};

inline constexpr const char* WEBKIT_LIBRARY = "libwebkit2gtk-4.1.so.0";

// Opens the engine and fills every entry, or returns dlerror's text.
Result<WebEngine> load_web_engine();

}  // namespace vorbek
