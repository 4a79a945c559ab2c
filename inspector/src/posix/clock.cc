#include "clock.h"

#include <time.h>

#include <cerrno>

namespace vorbek {

std::chrono::nanoseconds monotonic_now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

void sleep_for(std::chrono::milliseconds duration) {
  timespec remaining{};
  remaining.tv_sec = static_cast<time_t>(duration.count() / 1000);
  remaining.tv_nsec = static_cast<long>(duration.count() % 1000 * 1000000);
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace vorbek
