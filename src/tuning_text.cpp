#include "tuning_text.h"

#include <cstdio>

#include "stopwatch.h"
#include "terminal_text.h"

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

// printf's format for the word, inside single quotes: printable ASCII as it
// is (printf's own % and \ doubled), every other byte in octal.
std::string printfFormat(std::string_view word) {
  std::string format;
  for (const char c : word) {
    const bool printableAscii = c >= 0x20 && c < 0x7F;
    if (c == '%') {
      format += "%%";
    } else if (c == '\\') {
      format += "\\\\";
    } else if (c == '\'') {
      format += "'\\''";
    } else if (printableAscii) {
      format += c;
    } else {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned char>(c));
      format += octal;
    }
  }
  return format;
}

}  // namespace

std::string passReadout(double seconds, double markedShare) {
  char cas[kMessageSize];
  formatTimingMessage(cas, sizeof cas, seconds);
  char text[kMessageSize + 64];
  std::snprintf(text, sizeof text, "%s | oznaceno %.2f %% pixelu", cas, 100.0 * markedShare);
  return text;
}

std::string pixelReadout(int x, int y, const cv::Vec3b& hls, bool marked) {
  char text[96];
  std::snprintf(text, sizeof text, "x=%d y=%d | H=%d L=%d S=%d | %s", x, y, hls[0], hls[1],
                hls[2], marked ? "oznacen" : "neoznacen");
  return text;
}

std::string shellQuoted(std::string_view word) {
  if (needsNoQuotes(word)) return std::string(word);
  if (escapeControlCharacters(word) != word) return "\"$(printf '" + printfFormat(word) + "')\"";
  std::string quoted = "'";
  for (const char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string repeatCommand(const std::string& imageName, const DetectionBounds& b) {
  std::string command = "tesmic ";
  command += shellQuoted(imageName);
  for (const int bound : {b.HH, b.HL, b.SH, b.SL, b.VH, b.VL}) {
    command += ' ';
    command += std::to_string(bound);
  }
  return command;
}

}  // namespace tesmic
