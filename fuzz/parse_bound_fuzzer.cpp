// libFuzzer target: parseBound and settingsFromArguments against an
// expectation built on the C library's own reading of decimal numbers.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "command_line.h"

namespace {

// atoi's reading with out-of-range values saturated. strtoll with base 10
// takes the same prefix as atoi (C-locale white space, sign, digits; no
// "0x", no exponent) and reports overflow through errno instead of leaving
// it undefined, so the clamp below is all that is left to do.
int expectedBound(const char* text) {
  errno = 0;
  const long long wide = std::strtoll(text, nullptr, 10);
  if (errno == ERANGE) return wide < 0 ? INT_MIN : INT_MAX;
  if (wide > INT_MAX) return INT_MAX;
  if (wide < INT_MIN) return INT_MIN;
  return static_cast<int>(wide);
}

void check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  // Argument strings always end in NUL; the fuzzer's bytes do not. The copy
  // is exactly one byte longer, so a read past that NUL lands in ASan's
  // redzone (a std::string may have spare capacity there).
  const std::unique_ptr<char[]> text(new char[size + 1]);
  std::memcpy(text.get(), data, size);
  text[size] = '\0';
  check(tesmic::parseBound(text.get()) == expectedBound(text.get()));

  // The same bytes as a command line: each NUL ends one argument, as in the
  // block the kernel hands to main. Eight pieces reach the bounds.
  std::vector<const char*> argv;
  argv.push_back(text.get());
  for (std::size_t i = 0; i < size; ++i) {
    if (text[i] == '\0') argv.push_back(text.get() + i + 1);
  }
  const int argc = static_cast<int>(argv.size());
  argv.push_back(nullptr);

  const tesmic::RunSettings settings =
      tesmic::settingsFromArguments(argc, argv.data());
  if (argc != 8) {
    check(settings.usageRequested);
    check(settings.imageName == tesmic::kExampleImage);
    check(settings.bounds == tesmic::kExampleBounds);
    return 0;
  }
  check(!settings.usageRequested);
  check(settings.imageName == argv[1]);
  const tesmic::DetectionBounds& b = settings.bounds;
  const int got[6] = {b.HH, b.HL, b.SH, b.SL, b.VH, b.VL};
  for (int i = 0; i < 6; ++i) check(got[i] == expectedBound(argv[i + 2]));
  return 0;
}
