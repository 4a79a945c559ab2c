#include "gtk_api.h"

#include <optional>
#include <utility>

namespace vorbek {
namespace {

struct Toolkit {
  LibraryHandle library;
  GtkApi api;
};

std::optional<Toolkit>& loaded_toolkit() {
  static std::optional<Toolkit> toolkit;
  return toolkit;
}

}  // namespace

Result<const GtkApi*> load_toolkit() {
  auto& loaded = loaded_toolkit();
  if (loaded) return &loaded->api;

  auto library = open_library(GTK_LIBRARY);
  if (!library) return std::move(library).error();
  GtkApi api;
  // dlsym on GTK's handle also finds GDK, GLib, GObject and GIO.
#define VORBEK_RESOLVE_ENTRY(name)                                     \
  if (auto found = resolve(library->get(), #name, api.name); !found) { \
    return std::move(found).error();                                   \
  }
  VORBEK_GTK_FUNCTIONS(VORBEK_RESOLVE_ENTRY)
#undef VORBEK_RESOLVE_ENTRY

  loaded.emplace(Toolkit{std::move(library).value(), api});
  return &loaded->api;
}

const GtkApi& toolkit() { return loaded_toolkit()->api; }

}  // namespace vorbek
