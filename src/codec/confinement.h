// What a process that parses untrusted files may still do once it has
// confined itself: read one file it already opened, compute, allocate and
// answer through the descriptors it was given.
#pragma once

#include <cstdint>

namespace tesmic {

struct ConfinementLimits {
  // The only file that may be opened, by any name, where the kernel has
  // Landlock; without Landlock any file may still be opened for reading.
  int readableFile = -1;
  // RLIMIT_AS; 0 leaves the inherited limit (AddressSanitizer reserves
  // terabytes of address space and cannot run under one).
  std::uint64_t addressSpaceBytes = 0;
  // RLIMIT_CPU: SIGXCPU at the soft limit, SIGKILL at the hard one. The soft
  // one may later be moved up to the hard one (setCpuLimit).
  std::uint64_t cpuSeconds = 1;
  std::uint64_t cpuSecondsCeiling = 2;
};

// Confines the calling process for good, in this order: no core files,
// the limits above, no new privileges (setuid programs), Landlock (where the
// kernel offers it), and a seccomp filter that allows only what decoding
// needs. Refused there: creating sockets (EACCES; sockets already open stay
// usable, and descriptors may be received on them), opening files other than read-only, mapping memory executable,
// new processes, exec, ptrace, changing limits other than RLIMIT_CPU, and
// every other system call not on its list (those kill the process). Threads
// are allowed. Returns false when any step is refused by the kernel; the
// process must then parse nothing.
bool confineProcess(const ConfinementLimits& limits);

// Whether the kernel offers Landlock (any ABI version).
bool kernelHasLandlock();

// Sets the soft CPU limit to seconds, never above the hard one.
void setCpuLimit(std::uint64_t seconds);

}  // namespace tesmic
