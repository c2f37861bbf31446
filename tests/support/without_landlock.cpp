// Runs a program as on a kernel without Landlock, or in a container whose
// seccomp profile refuses it: landlock_create_ruleset() fails with ENOSYS,
// for the program and everything it starts.
//   without_landlock PROGRAM [ARGUMENT...]
#include <seccomp.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PROGRAM [ARGUMENT...]\n", argv[0]);
    return 2;
  }
  scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
  if (filter == nullptr ||
      seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(landlock_create_ruleset), 0) != 0 ||
      prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || seccomp_load(filter) != 0) {
    std::perror("seccomp");
    return 127;
  }
  execvp(argv[1], argv + 1);
  std::perror(argv[1]);
  return 127;
}
