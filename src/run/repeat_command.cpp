#include "run/repeat_command.h"

#include <cstdio>

#include "platform/terminal_text.h"

namespace tesmic {
namespace {

bool needsNoQuotes(std::string_view word) {
  if (word.empty()) return false;
  for (const char c : word) {
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                      (c >= '0' && c <= '9') || std::string_view("_@%+=:,./-").find(c) !=
                                                    std::string_view::npos;
    if (!safe) return false;
  }
  return true;
}

// The printf that writes these bytes: octal escapes only.
std::string printfOfBytes(std::string_view bytes) {
  std::string command = "\"$(printf '";
  for (const char c : bytes) {
    char octal[8];
    std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned char>(c));
    command += octal;
  }
  return command + "')\"";
}

// Bytes a terminal could obey, from the start of text: all of text up to
// the first printable character or line feed.
std::size_t unprintableRunLength(std::string_view text) {
  std::size_t length = 0;
  while (length < text.size() && text[length] != '\n' &&
         printableSequenceLength(text.substr(length)) == 0) {
    ++length;
  }
  return length;
}

bool isReservedWord(std::string_view word) {
  for (const char* reserved : {"case", "do", "done", "elif", "else", "esac", "fi", "for",
                               "function", "if", "in", "select", "then", "time", "until",
                               "while"}) {
    if (word == reserved) return true;
  }
  return false;
}

// The word as a POSIX shell reads it back (see repeatCommand): unchanged
// when it needs no quotes, else in single quotes, with runs of bytes a
// terminal could obey spelt by printf.
std::string shellQuoted(std::string_view word) {
  if (needsNoQuotes(word)) return std::string(word);
  std::string quoted;
  bool inQuotes = false;
  while (!word.empty()) {
    const std::size_t unprintable = unprintableRunLength(word);
    if (unprintable > 0) {
      if (inQuotes) quoted += '\'';
      inQuotes = false;
      quoted += printfOfBytes(word.substr(0, unprintable));
      word.remove_prefix(unprintable);
      continue;
    }
    if (!inQuotes) quoted += '\'';
    inQuotes = true;
    const std::size_t length = word[0] == '\n' ? 1 : printableSequenceLength(word);
    if (word[0] == '\'') {
      quoted += "'\\''";
    } else {
      quoted.append(word.substr(0, length));
    }
    word.remove_prefix(length);
  }
  if (inQuotes) quoted += '\'';
  return quoted.empty() ? "''" : quoted;
}

}  // namespace

std::string repeatCommand(std::string_view program, std::string_view imageName,
                          const DetectionBounds& b, std::string_view maskPath) {
  std::string command;
  if (!maskPath.empty()) command.append("TESMIC_MASK=").append(shellQuoted(maskPath)).append(" ");
  // Quoted, "a=b" would be no assignment and "if" no reserved word.
  const bool bare = needsNoQuotes(program) && program.find('=') == std::string_view::npos &&
                    !isReservedWord(program);
  if (bare || !needsNoQuotes(program)) {
    command += shellQuoted(program);
  } else {
    command.append(1, '\'').append(program).append(1, '\'');
  }
  command += ' ';
  command += shellQuoted(imageName);
  for (const int bound : {b.HH, b.HL, b.SH, b.SL, b.VH, b.VL}) {
    command += ' ';
    command += std::to_string(bound);
  }
  return command;
}

}  // namespace tesmic
