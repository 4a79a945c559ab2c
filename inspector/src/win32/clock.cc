#include <windows.h>

#include <memory>

#include "clock.h"

namespace vorbek {

std::chrono::nanoseconds monotonic_now() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  // Split so that counts times 10^9 cannot overflow.
  const LONGLONG seconds = now.QuadPart / frequency;
  const LONGLONG rest = now.QuadPart % frequency;
  return std::chrono::seconds(seconds) + std::chrono::nanoseconds(rest * 1000000000 / frequency);
}

namespace {

// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION (Windows 10 1803), missing from the
// mingw-w64 headers; older systems refuse it and the pause falls back to Sleep.
constexpr DWORD HIGH_RESOLUTION_TIMER = 0x2;

struct HandleClose {
  void operator()(HANDLE h) const { CloseHandle(h); }
};

}  // namespace

void sleep_for(std::chrono::milliseconds duration) {
  // A high-resolution timer wakes within a fraction of a millisecond; Sleep
  // rounds up to the scheduler tick, 15.6 ms by default.
  std::unique_ptr<void, HandleClose> timer(CreateWaitableTimerExW(
      nullptr, nullptr, HIGH_RESOLUTION_TIMER, TIMER_ALL_ACCESS));
  if (timer) {
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(duration.count()) * 10000;  // relative, 100 ns units
    if (SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE) &&
        WaitForSingleObject(timer.get(), INFINITE) == WAIT_OBJECT_0) {
      return;
    }
  }
  Sleep(static_cast<DWORD>(duration.count()));
}

}  // namespace vorbek
