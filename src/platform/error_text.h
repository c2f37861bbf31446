// What a failed system call's errno means, said in Czech.
#pragma once

#include <string>

namespace tesmic {

// The cause that error (an errno value) names, as a Czech phrase without
// diacritics and without a full stop, e.g. "na disku neni misto" for
// ENOSPC. The causes a file, a folder, a write or the memory can meet have
// their own phrase; any other falls back to the C library's own text
// (strerror, in English).
std::string czechErrorText(int error);

}  // namespace tesmic
