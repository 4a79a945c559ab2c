// Where a navigation started in the frontend may go. The frontend's own
// pages stay in the window; web links belong in the user's browser, so the
// window never leaves the debugger; anything else is refused.
#pragma once

#include <string_view>

namespace vorbek {

enum class LinkTarget { Window, Browser, Refused };

// `frontend_uri` is the page the window was opened on.
LinkTarget link_target(std::string_view frontend_uri, std::string_view target_uri);

// Web engines refuse http(s) to the ports the Fetch standard calls bad (and
// to port 0); WebKit does so without a word, so the host says it instead.
inline constexpr const char* BLOCKED_PORT_REASON = "Not allowed to use restricted network port";
bool uses_blocked_port(std::string_view uri);

}  // namespace vorbek
