#include "codec/confinement.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>

namespace tesmic {
namespace {

// Landlock rights newer than Debian 12's kernel headers know.
constexpr std::uint64_t kLandlockTruncate = 1ULL << 14;  // ABI 3

int landlockAbi() {
  const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0,
                           LANDLOCK_CREATE_RULESET_VERSION);
  return abi < 0 ? 0 : static_cast<int>(abi);
}

bool setLimit(int resource, rlim_t soft, rlim_t hard) {
  rlimit current{};
  if (getrlimit(resource, &current) != 0) return false;
  // Never above what was inherited: only root could raise it.
  const rlimit wanted{std::min(soft, current.rlim_max), std::min(hard, current.rlim_max)};
  return setrlimit(resource, &wanted) == 0;
}

// Every file access the ABI knows is handled, so each is denied but for the
// one rule: reading the given file.
bool restrictFilesTo(int readableFile) {
  const int abi = landlockAbi();
  if (abi == 0) return true;  // no Landlock: seccomp and the limits still hold
  landlock_ruleset_attr ruleset{};
  ruleset.handled_access_fs =
      LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
      LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR |
      LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE |
      LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR |
      LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK |
      LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK |
      LANDLOCK_ACCESS_FS_MAKE_SYM;
  if (abi >= 2) ruleset.handled_access_fs |= LANDLOCK_ACCESS_FS_REFER;
  if (abi >= 3) ruleset.handled_access_fs |= kLandlockTruncate;
  const long rulesetFd = syscall(SYS_landlock_create_ruleset, &ruleset, sizeof ruleset, 0);
  if (rulesetFd < 0) return false;
  bool ok = true;
  if (readableFile >= 0) {
    landlock_path_beneath_attr rule{};
    rule.allowed_access = LANDLOCK_ACCESS_FS_READ_FILE;
    rule.parent_fd = readableFile;
    ok = syscall(SYS_landlock_add_rule, rulesetFd, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
  }
  ok = ok && syscall(SYS_landlock_restrict_self, rulesetFd, 0) == 0;
  close(static_cast<int>(rulesetFd));
  return ok;
}

class SeccompFilter {
 public:
  SeccompFilter() : context_(seccomp_init(SCMP_ACT_KILL_PROCESS)) {}
  ~SeccompFilter() {
    if (context_ != nullptr) seccomp_release(context_);
  }
  SeccompFilter(const SeccompFilter&) = delete;
  SeccompFilter& operator=(const SeccompFilter&) = delete;

  template <typename... Conditions>
  void add(std::uint32_t action, int syscall, Conditions... conditions) {
    if (context_ == nullptr) return;
    const scmp_arg_cmp list[] = {conditions..., scmp_arg_cmp{}};
    ok_ = ok_ && seccomp_rule_add_array(context_, action, syscall, sizeof...(Conditions),
                                        list) == 0;
  }
  template <typename... Conditions>
  void allow(int syscall, Conditions... conditions) {
    add(SCMP_ACT_ALLOW, syscall, conditions...);
  }

  bool load() { return context_ != nullptr && ok_ && seccomp_load(context_) == 0; }

 private:
  scmp_filter_ctx context_;
  bool ok_ = true;
};

bool installSyscallFilter() {
  SeccompFilter filter;
  // Reading, and answering on the descriptors already open.
  for (const int call : {SCMP_SYS(read), SCMP_SYS(readv), SCMP_SYS(pread64),
                         SCMP_SYS(preadv), SCMP_SYS(write), SCMP_SYS(writev),
                         SCMP_SYS(sendmsg), SCMP_SYS(recvmsg), SCMP_SYS(lseek), SCMP_SYS(close),
                         SCMP_SYS(fstat), SCMP_SYS(newfstatat), SCMP_SYS(statx),
                         SCMP_SYS(stat), SCMP_SYS(lstat), SCMP_SYS(fcntl),
                         SCMP_SYS(readlink), SCMP_SYS(readlinkat), SCMP_SYS(poll),
                         SCMP_SYS(ppoll)}) {
    filter.allow(call);
  }
  // Opening read-only only; access() is a read-only question too.
  const scmp_datum_t writing = O_ACCMODE | O_CREAT | O_TRUNC | O_APPEND;
  filter.allow(SCMP_SYS(openat), SCMP_A2(SCMP_CMP_MASKED_EQ, writing, 0));
  filter.allow(SCMP_SYS(open), SCMP_A1(SCMP_CMP_MASKED_EQ, writing, 0));
  filter.allow(SCMP_SYS(access), SCMP_A1(SCMP_CMP_EQ, R_OK));
  filter.allow(SCMP_SYS(faccessat), SCMP_A2(SCMP_CMP_EQ, R_OK));
  filter.add(SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(openat2));  // glibc falls back to openat
  // Memory, never executable: the pixels go to a memfd of their own.
  const scmp_datum_t exec = PROT_EXEC;
  filter.allow(SCMP_SYS(mmap), SCMP_A2(SCMP_CMP_MASKED_EQ, exec, 0));
  filter.allow(SCMP_SYS(mprotect), SCMP_A2(SCMP_CMP_MASKED_EQ, exec, 0));
  for (const int call : {SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(madvise),
                         SCMP_SYS(brk), SCMP_SYS(memfd_create), SCMP_SYS(ftruncate)}) {
    filter.allow(call);
  }
  // A pipe reaches nothing outside the process; UndefinedBehaviorSanitizer
  // checks that memory is readable by writing it into one.
  filter.allow(SCMP_SYS(pipe2));
  // Threads (the library's parallel loops), but no new process.
  filter.allow(SCMP_SYS(clone), SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD));
  filter.add(SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3));  // glibc falls back to clone
  for (const int call : {SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(rseq),
                         SCMP_SYS(sched_yield), SCMP_SYS(sched_getaffinity),
                         SCMP_SYS(getpid), SCMP_SYS(gettid), SCMP_SYS(getuid),
                         SCMP_SYS(geteuid), SCMP_SYS(getgid), SCMP_SYS(getegid),
                         SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres),
                         SCMP_SYS(gettimeofday), SCMP_SYS(nanosleep),
                         SCMP_SYS(clock_nanosleep), SCMP_SYS(getrandom),
                         SCMP_SYS(getrusage), SCMP_SYS(sysinfo), SCMP_SYS(uname),
                         SCMP_SYS(rt_sigaction), SCMP_SYS(rt_sigprocmask),
                         SCMP_SYS(rt_sigreturn), SCMP_SYS(sigaltstack),
                         SCMP_SYS(exit), SCMP_SYS(exit_group)}) {
    filter.allow(call);
  }
  // abort() signals the process itself, and nothing else.
  filter.allow(SCMP_SYS(tgkill), SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(getpid())));
  // Reading any limit; changing only the CPU time (setCpuLimit).
  filter.allow(SCMP_SYS(prlimit64), SCMP_A0(SCMP_CMP_EQ, 0), SCMP_A2(SCMP_CMP_EQ, 0));
  filter.allow(SCMP_SYS(prlimit64), SCMP_A0(SCMP_CMP_EQ, 0),
               SCMP_A1(SCMP_CMP_EQ, RLIMIT_CPU));
  filter.allow(SCMP_SYS(getrlimit));
  // Refused without killing, so that a library can carry on: no network, no
  // terminal controls.
  filter.add(SCMP_ACT_ERRNO(EACCES), SCMP_SYS(socket));
  filter.add(SCMP_ACT_ERRNO(EACCES), SCMP_SYS(socketpair));
  filter.add(SCMP_ACT_ERRNO(ENOTTY), SCMP_SYS(ioctl));
  return filter.load();
}

}  // namespace

bool kernelHasLandlock() { return landlockAbi() > 0; }

bool confineProcess(const ConfinementLimits& limits) {
  if (!setLimit(RLIMIT_CORE, 0, 0)) return false;
  if (limits.addressSpaceBytes > 0 &&
      !setLimit(RLIMIT_AS, limits.addressSpaceBytes, limits.addressSpaceBytes)) {
    return false;
  }
  if (!setLimit(RLIMIT_CPU, limits.cpuSeconds,
                std::max(limits.cpuSecondsCeiling, limits.cpuSeconds + 1))) {
    return false;
  }
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
  if (!restrictFilesTo(limits.readableFile)) return false;
  return installSyscallFilter();
}

void setCpuLimit(std::uint64_t seconds) {
  rlimit current{};
  if (getrlimit(RLIMIT_CPU, &current) != 0) return;
  current.rlim_cur = std::min<rlim_t>(seconds, current.rlim_max);
  setrlimit(RLIMIT_CPU, &current);
}

}  // namespace tesmic
