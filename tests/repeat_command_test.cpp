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
  struct Case {
    std::string command;
    std::string expected;  // what the stub writes
  };
  std::vector<Case> cases;
  for (const std::string& program : programs) {
    for (const std::string& name : awkward) {
      // Without a mask the program word comes first, where a shell looks
      // for reserved words.
      const std::string mask = name == awkward[0] ? "" : name + ".png";
      Case c{repeatCommand(program, name, {1, 2, 3, 4, 5, 6}, mask), ""};
      std::string withoutLineFeeds = c.command;
      std::erase(withoutLineFeeds, '\n');
      EXPECT_EQ(escapeControlCharacters(withoutLineFeeds), withoutLineFeeds)
          << "bytes a terminal obeys in " << escapeControlCharacters(c.command);
      const fs::path invoked = program.find('/') == std::string::npos ? folder / program
                                                                      : fs::path(program);
      c.expected = invoked.string() + '\0' + mask + '\0' + name + '\0';
      for (const char* bound : {"1", "2", "3", "4", "5", "6"}) {
        c.expected += bound;
        c.expected += '\0';
      }
      cases.push_back(std::move(c));
    }
  }
  // One script a shell: each command as printed, on lines of its own, after
  // sending the output to a file of its own. A command that did not end where
  // it should swallows the lines after it, and their files stay missing.
  const fs::path script = temp.path() / "commands.sh";
  {
    std::ofstream out(script, std::ios::binary);
    out << "set -e\n";
    for (std::size_t i = 0; i < cases.size(); ++i) {
      out << "exec > \"$STUB_OUT/" << i << "\"\n" << cases[i].command << "\n";
    }
  }
  const fs::path outputs = temp.path() / "out";
  fs::create_directory(outputs);
  // The stubs found by name through PATH, by path as given.
  setenv("STUB_FOLDER", folder.c_str(), 1);
  setenv("STUB_SCRIPT", script.c_str(), 1);
  setenv("STUB_OUT", outputs.c_str(), 1);
  unsetenv("TESMIC_MASK");
  for (const char* shell : {"sh", "bash"}) {
    SCOPED_TRACE(shell);
    for (const fs::directory_entry& old : fs::directory_iterator(outputs)) fs::remove(old);
    const std::string run = "PATH=\"$STUB_FOLDER:$PATH\" " + std::string(shell) + " \"$STUB_SCRIPT\"";
    EXPECT_EQ(std::system(run.c_str()), 0);
    for (std::size_t i = 0; i < cases.size(); ++i) {
      EXPECT_EQ(escapeControlCharacters(readAll(outputs / std::to_string(i))),
                escapeControlCharacters(cases[i].expected))
          << escapeControlCharacters(cases[i].command);
    }
  }
}

}  // namespace
}  // namespace tesmic
