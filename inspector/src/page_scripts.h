// Script that runs in the embedded frontend's pages, embedded at build time
// from the .js files beside this header, one concern each, each after
// page_common.js (cmake/embed_text.cmake). A script for one engine is
// declared in that engine's own files.
#pragma once

#include <span>

namespace vorbek {

// frontend_host.js: the frontend's host calls, carried to FrontendHost.
extern const char FRONTEND_HOST_SCRIPT[];

// What every engine adds to the embedded frontend's pages, at document
// start, in this order: the host's calls, the run held for breakpoints, the
// console's bound, the target's drawing kept in its message, text fields
// that stay text, and no connection but the inspector's.
std::span<const char* const> frontend_page_scripts();

}  // namespace vorbek
