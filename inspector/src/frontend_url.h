// The frontend URL and the three diagnostic lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "error.h"

namespace vorbek {

inline constexpr const char* FRONTEND_VARIABLE = "VORBEK_INSPECTOR_FRONTEND";
inline constexpr std::string_view SCHEME_NAME = "devtools";
// Every page of the embedded frontend is served under this origin prefix,
// http://devtools.HOST.
inline constexpr std::string_view FRONTEND_ORIGIN_PREFIX = "http://devtools.";

// Every "{ws}" in `override_template` replaced by the target.
std::string expand_frontend_template(std::string_view override_template,
                                     std::string_view ws_target);

// The frontend URL, and whether it is the embedded frontend's own, which the
// program may build again for a new target; a frontend given by the user is
// shown as it was given.
struct FrontendUrl {
  std::string text;
  bool embedded = true;
};

// The embedded frontend's URL for a target.
std::string embedded_frontend_url(std::string_view ws_target);

// Reads VORBEK_INSPECTOR_FRONTEND once; the embedded frontend's URL without it.
FrontendUrl build_frontend_url(std::string_view ws_target);

std::string format_diagnostics(std::string_view ws_target, std::string_view frontend_url);
Status print_diagnostics(std::string_view ws_target, std::string_view frontend_url);

}  // namespace vorbek
