#include "run/repeat_command.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/temporary_directory.h"
#include "platform/terminal_text.h"

namespace tesmic {
namespace {

namespace fs = std::filesystem;

TEST(RepeatCommand, ReadsPlainly) {
  EXPECT_EQ(repeatCommand("tesmic", "my photo.jpg", {170, 25, 150, 240, 80, 0}),
            "tesmic 'my photo.jpg' 170 25 150 240 80 0");
  EXPECT_EQ(repeatCommand("../build/tesmic", "cerven.jpg", {175, 30, -1, 256, 90, 0}, "m.png"),
            "TESMIC_MASK=m.png ../build/tesmic cerven.jpg 175 30 -1 256 90 0");
}

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Each printed command run by dash and by bash reaches a stub program with
// the very bytes of the program word, the mask's name and the image's name.
TEST(RepeatCommand, RunsAsPrintedInEveryShell) {
  const test::TemporaryDirectory temp;
  const fs::path folder = temp.path() / "a b'c";
  fs::create_directory(folder);
  // The stub writes $0, TESMIC_MASK and its arguments, each ended by a NUL.
  const std::string stub = "#!/bin/sh\nprintf '%s\\0' \"$0\" \"$TESMIC_MASK\" \"$@\"\n";
  for (const char* name : {"-stub $x", "x=y", "if"}) {
    std::ofstream(folder / name) << stub;
    chmod((folder / name).c_str(), 0755);
  }
  const std::string awkward[] = {"plain.png",
                                 "it's $HOME `x` \"q\" \\.png",
                                 "trailing\n\n",
                                 "-\377",
                                 "-\x1b[2J 50%\\'.jpg",
                                 "\r\xC4\x8D\t\x9b\xC4",
                                 "%s%n\\x41",
                                 "--",
                                 ""};
  const std::string programs[] = {(folder / "-stub $x").string(), "x=y", "if"};
  const fs::path script = temp.path() / "command.sh";
  const fs::path out = temp.path() / "out";
  // The stubs found by name through PATH, by path as given.
  setenv("STUB_FOLDER", folder.c_str(), 1);
  setenv("STUB_SCRIPT", script.c_str(), 1);
  setenv("STUB_OUT", out.c_str(), 1);
  for (const char* shell : {"sh", "bash"}) {
    for (const std::string& program : programs) {
      for (const std::string& name : awkward) {
        SCOPED_TRACE(std::string(shell) + " " + program + " " + escapeControlCharacters(name));
        const std::string command = repeatCommand(program, name, {1, 2, 3, 4, 5, 6}, name + ".png");
        std::string withoutLineFeeds = command;
        std::erase(withoutLineFeeds, '\n');
        EXPECT_EQ(escapeControlCharacters(withoutLineFeeds), withoutLineFeeds)
            << "bytes a terminal obeys in " << escapeControlCharacters(command);
        std::ofstream(script, std::ios::binary) << command << "\n";
        const std::string run =
            "PATH=\"$STUB_FOLDER:$PATH\" " + std::string(shell) + " \"$STUB_SCRIPT\" > \"$STUB_OUT\"";
        ASSERT_EQ(std::system(run.c_str()), 0) << escapeControlCharacters(command);
        const fs::path invoked = program.find('/') == std::string::npos ? folder / program
                                                                        : fs::path(program);
        std::string expected = invoked.string() + '\0' + name + ".png" + '\0' + name + '\0';
        for (const char* bound : {"1", "2", "3", "4", "5", "6"}) {
          expected += bound;
          expected += '\0';
        }
        EXPECT_EQ(escapeControlCharacters(readAll(out)), escapeControlCharacters(expected))
            << escapeControlCharacters(command);
      }
    }
  }
}

}  // namespace
}  // namespace tesmic
