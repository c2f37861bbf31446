// Timing the classification pass and reporting the duration.
#pragma once

#include <chrono>
#include <string>

namespace tesmic {

// Seconds from start, a reading of the steady (monotonic) clock, to now.
double secondsSince(std::chrono::steady_clock::time_point start);

// "Cas %12.8f" for the given duration: the run's line and the readout's start.
std::string timingMessage(double seconds);

}  // namespace tesmic
