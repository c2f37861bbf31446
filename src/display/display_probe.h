// Whether a Qt platform that only Qt itself can judge starts: asked of a
// fresh copy of the program, as Qt ends the process that tries one that
// cannot.
#pragma once

#include <string>

namespace tesmic {

// Runs this program again, in the role of a probe that starts Qt on the
// platform entry (as QT_QPA_PLATFORM writes it) and makes a window. True
// when that succeeds within the time; a probe that fails, crashes, aborts
// or hangs (killed) gives false. The probe is a new process image, not a
// fork that goes on in this one, so it starts whole even when this process
// has threads; it leaves no core file and cannot be attached to.
bool qtStartsInProbe(const std::string& platformEntry);

// When the process was started as such a probe, does the probe's work and
// ends the process; otherwise returns at once. First thing in main.
void runDisplayProbeIfAsked(int argc, char** argv);

}  // namespace tesmic
