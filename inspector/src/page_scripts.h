// Script that runs in the frontend's pages, embedded at build time from the
// .js files beside this header (cmake/embed_text.cmake); a script for one
// engine is declared in that engine's own files.
#pragma once

namespace vorbek {

// frontend_host.js: the frontend's host calls, carried to FrontendHost; on
// every engine.
extern const char FRONTEND_HOST_SCRIPT[];

}  // namespace vorbek
