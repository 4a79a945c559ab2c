#include "event_loop.h"

namespace vorbek {

void handle_loop_event(LoopEvent event, WaitMode& mode) {
  mode.kind = WaitMode::Kind::Wait;
  if (event == LoopEvent::CloseRequested) {
    mode.kind = WaitMode::Kind::Exit;
    mode.exit_code = 0;
  }
}

void LoopState::deliver(LoopEvent event) {
  if (mode_.kind == WaitMode::Kind::Exit) {
    // The handler always starts from Wait; a scratch copy keeps it from
    // taking back an exit that was already requested.
    WaitMode scratch = mode_;
    handle_loop_event(event, scratch);
    return;
  }
  handle_loop_event(event, mode_);
}

std::optional<int> LoopState::exit_code() const {
  if (mode_.kind != WaitMode::Kind::Exit) return std::nullopt;
  return mode_.exit_code;
}

}  // namespace vorbek
