// The pages the window shows in place of the frontend: after the page's
// process ended, after a load failed, after a reconnect found no target.
// Plain HTML without script; each offers one link that starts over, which
// the host turns into a reconnect where that is what the user needs.
#pragma once

#include <string>
#include <string_view>

namespace vorbek {

// Text made safe for HTML content and quoted attribute values.
std::string escape_html(std::string_view text);

// `reason` is the engine's, e.g. "the web process crashed".
std::string crash_page(std::string_view reason, std::string_view reload_uri);

// The address that failed and the engine's reason; the link loads it
// again, where trying again can help.
std::string load_error_page(std::string_view uri, std::string_view reason, bool retry = true);

// `report` is the failure report start-up would have printed.
std::string reconnect_failure_page(std::string_view report, std::string_view retry_uri);

}  // namespace vorbek
