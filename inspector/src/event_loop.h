// What the window's event loop does with each event, kept free of any toolkit.
#pragma once

#include <optional>

namespace vorbek {

enum class LoopEvent {
  LoopStarted,
  CloseRequested,
  Resized,
  Moved,
  FocusChanged,
  Input,
  RedrawRequested,
  CycleEnded,
  DeviceEvent,
  LoopDestroyed,
};

struct WaitMode {
  enum class Kind { Wait, Exit };
  Kind kind = Kind::Wait;
  int exit_code = 0;
};

void handle_loop_event(LoopEvent event, WaitMode& mode);

// Feeds events to handle_loop_event; once an exit is requested it sticks,
// because later events only see a scratch copy of the wait mode.
class LoopState {
 public:
  void deliver(LoopEvent event);
  // The code to end the process with, once an exit was requested.
  std::optional<int> exit_code() const;

 private:
  WaitMode mode_;
};

}  // namespace vorbek
