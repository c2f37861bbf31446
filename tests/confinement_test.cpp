// A confined process reads its one file and nothing else, and can neither
// write, connect, run a program nor start a process.
#include "codec/confinement.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/temporary_directory.h"

namespace tesmic {
namespace {

// Runs probe in a child confined to reading file; the wait status.
int statusOfConfined(const std::string& file, const std::function<bool()>& probe) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ConfinementLimits limits;
    limits.readableFile = fd;
    limits.cpuSeconds = 10;
    limits.cpuSecondsCeiling = 20;
    if (fd < 0 || !confineProcess(limits)) _exit(2);
    _exit(probe() ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

TEST(Confinement, OnlyReadingTheOneFileIsLeft) {
  const test::TemporaryDirectory temp;
  const std::string image = (temp.path() / "obrazek.png").string();
  const std::string other = (temp.path() / "jiny.png").string();
  std::ofstream(image) << "pixels";
  std::ofstream(other) << "pixels";

  // Reading the file again by its name works.
  const int read = statusOfConfined(image, [&image] {
    char text[7] = {};
    const int fd = open(image.c_str(), O_RDONLY);
    return fd >= 0 && ::read(fd, text, 6) == 6 && std::string(text) == "pixels";
  });
  ASSERT_TRUE(WIFEXITED(read) && WEXITSTATUS(read) == 0) << "status " << read;

  // Each of these must fail or kill the child: probe() true means it worked.
  struct Refused {
    const char* what;
    std::function<bool()> probe;
  };
  std::vector<Refused> refused = {
      {"writing the file", [&image] { return open(image.c_str(), O_WRONLY) >= 0; }},
      {"creating a file",
       [&temp] {
         return open((temp.path() / "novy").c_str(), O_WRONLY | O_CREAT, 0600) >= 0;
       }},
      {"a socket", [] { return socket(AF_INET, SOCK_STREAM, 0) >= 0; }},
      {"exec",
       [] {
         char* const argv[] = {const_cast<char*>("true"), nullptr};
         execv("/bin/true", argv);
         return true;
       }},
      {"fork",
       [] {
         const pid_t pid = fork();
         if (pid == 0) _exit(0);
         return pid > 0;
       }},
  };
  if (kernelHasLandlock()) {
    refused.push_back({"reading another file",
                       [&other] { return open(other.c_str(), O_RDONLY) >= 0; }});
  }
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.what);
    const int status = statusOfConfined(image, r.probe);
    const bool failed = WIFEXITED(status) && WEXITSTATUS(status) == 1;
    const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGSYS;
    EXPECT_TRUE(failed || killed) << "status " << status;
  }
  EXPECT_FALSE(std::ifstream(temp.path() / "novy").good());
}

}  // namespace
}  // namespace tesmic
