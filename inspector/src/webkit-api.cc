#include "webkit-api.h"

#include <dlfcn.h>

#include <string>

namespace vorbek {

void DlClose::operator()(void* library) const { dlclose(library); }

namespace {

std::string last_dl_error(const char* fallback) {
  const char* text = dlerror();
  return text ? text : fallback;
}

template <typename Function>
Status resolve(void* library, const char* name, Function& entry) {
  dlerror();
  void* symbol = dlsym(library, name);
  if (!symbol) return Error(last_dl_error(name));
  entry = reinterpret_cast<Function>(symbol);
  return {};
}

}  // namespace

Result<WebEngine> load_web_engine() {
  // NODELETE: the engine's threads and objects may outlive any dlclose.
  LibraryHandle library(dlopen(WEBKIT_LIBRARY, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
  if (!library) return Error(last_dl_error(WEBKIT_LIBRARY));

  WebKitApi api;
  // dlsym on the engine's handle also finds libsoup, which it depends on.
#define VORBEK_RESOLVE_ENTRY(name)                                           \
  if (auto found = resolve(library.get(), #name, api.name); !found) {       \
    return std::move(found).error();                                         \
  }
  VORBEK_WEBKIT_FUNCTIONS(VORBEK_RESOLVE_ENTRY)
#undef VORBEK_RESOLVE_ENTRY

  return WebEngine{std::move(library), api};
}

}  // namespace vorbek
