#include "gtk/webkit_api.h"

#include <utility>

namespace vorbek {
namespace {

// dlsym on the engine's handle also finds libsoup, which it depends on.
Status fill(void* library, WebKitApi& api) {
  VORBEK_WEBKIT_FUNCTIONS(VORBEK_RESOLVE_ENTRY)
  return {};
}

}  // namespace

Result<WebEngine> load_web_engine() {
  auto library = open_library(WEBKIT_LIBRARY);
  if (!library) return std::move(library).error();

  WebKitApi api;
  if (auto filled = fill(library->get(), api); !filled) return std::move(filled).error();

  return WebEngine{std::move(library).value(), api};
}

}  // namespace vorbek
