// Monotonic time and sleeping; one implementation per platform.
#pragma once

#include <chrono>

namespace vorbek {

std::chrono::nanoseconds monotonic_now();
void sleep_for(std::chrono::milliseconds duration);

}  // namespace vorbek
