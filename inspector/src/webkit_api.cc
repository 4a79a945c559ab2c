#include "webkit_api.h"

#include <utility>

namespace vorbek {

Result<WebEngine> load_web_engine() {
  auto library = open_library(WEBKIT_LIBRARY);
  if (!library) return std::move(library).error();

  WebKitApi api;
  // dlsym on the engine's handle also finds libsoup, which it depends on.
#define VORBEK_RESOLVE_ENTRY(name)                                     \
  if (auto found = resolve(library->get(), #name, api.name); !found) { \
    return std::move(found).error();                                   \
  }
  VORBEK_WEBKIT_FUNCTIONS(VORBEK_RESOLVE_ENTRY)
#undef VORBEK_RESOLVE_ENTRY

  return WebEngine{std::move(library).value(), api};
}

}  // namespace vorbek
