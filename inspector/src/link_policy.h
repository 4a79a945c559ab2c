// Where a navigation started in the frontend may go. The frontend's own
// pages stay in the window; web links belong in the user's browser, so the
// window never leaves the debugger; anything else is refused.
#pragma once

#include <string_view>

namespace vorbek {

enum class LinkTarget { Window, Browser, Refused };

// `frontend_uri` is the page the window was opened on.
LinkTarget link_target(std::string_view frontend_uri, std::string_view target_uri);

}  // namespace vorbek
