// vorbek_inspector: finds a script engine's inspector target and opens the
// debugger frontend on it in a window of its own.
#include <string>
#include <utility>

#include "args.h"
#include "console.h"
#include "discovery.h"
#include "error.h"
#include "frontend_url.h"
#include "inspector_window.h"

namespace {

int report(const vorbek::Error& error) {
  vorbek::write_stderr(vorbek::format_failure_report(error));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  auto args = vorbek::parse_args(vorbek::command_line_arguments(argc, argv));
  if (!args) return report(args.error());

  auto target = vorbek::discover_inspector_target(args->inspector_address);
  if (!target) return report(target.error());

  vorbek::FrontendUrl url = vorbek::build_frontend_url(target->ws_target);
  if (auto printed = vorbek::print_diagnostics(target->ws_target, url.text); !printed) {
    return report(printed.error());
  }
  if (args->print_url) return 0;

  auto window = vorbek::open_inspector_window(args->inspector_address, *target, url);
  if (!window) return report(window.error());
  vorbek::run_inspector_window(std::move(window).value());
}
