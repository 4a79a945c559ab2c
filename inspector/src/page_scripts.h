// Script that runs in the frontend's pages, embedded at build time from the
// .js files beside this header (cmake/embed_text.cmake).
#pragma once

namespace vorbek {

// frontend_host.js: the frontend's host calls, carried to FrontendHost; on
// every engine.
extern const char FRONTEND_HOST_SCRIPT[];

// frontend_compat.js: WebKit's differences from Chromium, mended for the
// embedded frontend.
extern const char FRONTEND_COMPAT_SCRIPT[];

}  // namespace vorbek
