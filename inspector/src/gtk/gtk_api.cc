#include "gtk/gtk_api.h"

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

// dlsym on GTK's handle also finds GDK, GLib, GObject and GIO.
Status fill(void* library, GtkApi& api) {
  VORBEK_GTK_FUNCTIONS(VORBEK_RESOLVE_ENTRY)
  return {};
}

}  // namespace

Result<const GtkApi*> load_gtk_api() {
  auto& loaded = loaded_toolkit();
  if (loaded) return &loaded->api;

  auto library = open_library(GTK_LIBRARY);
  if (!library) return std::move(library).error();
  GtkApi api;
  if (auto filled = fill(library->get(), api); !filled) return std::move(filled).error();

  loaded.emplace(Toolkit{std::move(library).value(), api});
  return &loaded->api;
}

const GtkApi& gtk_api() { return loaded_toolkit()->api; }

}  // namespace vorbek
