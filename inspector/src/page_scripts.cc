#include "page_scripts.h"

namespace vorbek {

extern const char RUN_HOLD_SCRIPT[];
extern const char CONSOLE_BOUND_SCRIPT[];
extern const char CONSOLE_SPEED_SCRIPT[];
extern const char CONTAINED_DRAWING_SCRIPT[];
extern const char PLAIN_TEXT_FIELDS_SCRIPT[];
extern const char INSPECTOR_CONNECTION_ONLY_SCRIPT[];

std::span<const char* const> frontend_page_scripts() {
  static const char* const scripts[] = {
      FRONTEND_HOST_SCRIPT,     RUN_HOLD_SCRIPT,          CONSOLE_BOUND_SCRIPT,
      CONSOLE_SPEED_SCRIPT,     CONTAINED_DRAWING_SCRIPT, PLAIN_TEXT_FIELDS_SCRIPT,
      INSPECTOR_CONNECTION_ONLY_SCRIPT};
  return scripts;
}

}  // namespace vorbek
