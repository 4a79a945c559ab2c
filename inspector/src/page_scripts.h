// Script that runs in the frontend's pages, embedded at build time from the
// .js files beside this header (cmake/embed_text.cmake).
#pragma once

namespace vorbek {

// frontend_compat.js: WebKit's differences from Chromium, mended for the
// embedded frontend.
extern const char FRONTEND_COMPAT_SCRIPT[];

}  // namespace vorbek
