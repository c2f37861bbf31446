// Timing the classification pass and reporting the duration.
#pragma once

#include <cstddef>

namespace tesmic {

// Seconds since the previous call, on the steady (monotonic) clock. The
// first call of a process measures from the clock's origin, so its result is
// meaningless and is discarded by the caller. Not thread-safe: the state is
// kept in function-local statics.
double elapsedSeconds();

// Size of the message buffer of a run; the text and its terminator fit in it.
inline constexpr std::size_t kMessageSize = 150;

// Writes "Cas %12.8f" for the given duration into zprava (at most size bytes,
// always NUL-terminated when size > 0).
void formatTimingMessage(char* zprava, std::size_t size, double seconds);

}  // namespace tesmic
