#include "event_loop.h"

#include <gtest/gtest.h>

namespace vorbek {
namespace {

constexpr LoopEvent EVERY_OTHER_EVENT[] = {
    LoopEvent::LoopStarted,     LoopEvent::Resized,   LoopEvent::Moved,
    LoopEvent::FocusChanged,    LoopEvent::Input,     LoopEvent::RedrawRequested,
    LoopEvent::CycleEnded,      LoopEvent::DeviceEvent, LoopEvent::LoopDestroyed,
};

TEST(HandleLoopEvent, WaitsOnEveryEventButACloseRequest) {
  for (LoopEvent event : EVERY_OTHER_EVENT) {
    // Starting from Exit shows that the handler writes Wait itself.
    WaitMode mode{WaitMode::Kind::Exit, 3};
    handle_loop_event(event, mode);
    EXPECT_EQ(mode.kind, WaitMode::Kind::Wait) << static_cast<int>(event);
  }
}

TEST(HandleLoopEvent, CloseRequestExitsWithZero) {
  WaitMode mode{WaitMode::Kind::Wait, 7};
  handle_loop_event(LoopEvent::CloseRequested, mode);
  EXPECT_EQ(mode.kind, WaitMode::Kind::Exit);
  EXPECT_EQ(mode.exit_code, 0);
}

TEST(LoopState, RunsUntilACloseRequest) {
  LoopState state;
  for (LoopEvent event : EVERY_OTHER_EVENT) {
    state.deliver(event);
    EXPECT_FALSE(state.exit_code().has_value());
  }
  state.deliver(LoopEvent::CloseRequested);
  EXPECT_EQ(state.exit_code(), 0);
}

TEST(LoopState, ExitOnceRequestedStaysRequested) {
  LoopState state;
  state.deliver(LoopEvent::CloseRequested);
  for (LoopEvent event : EVERY_OTHER_EVENT) state.deliver(event);
  state.deliver(LoopEvent::CloseRequested);
  EXPECT_EQ(state.exit_code(), 0);
}

}  // namespace
}  // namespace vorbek
