// Turning the command line into the settings of one detection run.
#pragma once

#include <string>

#include "pass/detection_bounds.h"

namespace tesmic {

// Printed, unchanged, whenever the argument count is not seven.
inline constexpr char kUsageText[] =
    "Detekce barvy. Konvence volani:\n"
    "\n"
    " tesmic.exe nazev_obrazku HH HL SH SL VH VL\n"
    "\n"
    "KDE: nazev_obrazku je nazev obrazku kde ma byt provedena detekce\n"
    "     HH, HL, SH, SL, VH, VL - jsou horni a dolni meze slozek definujici "
    "hledanou barvu\n"
    "     prilad: HH=175, HL=30, SH=160, SL=240, VH=90, VL=0 obrazek = "
    "cerven.jpg \n";

// The example that runs when the command line does not have seven arguments.
inline constexpr char kExampleImage[] = "cerven.jpg";
inline constexpr DetectionBounds kExampleBounds{175, 30, 160, 240, 90, 0};

struct RunSettings {
  std::string programName;  // argv[0] as invoked, "tesmic" when there is none
  std::string imageName;
  DetectionBounds bounds;
  bool usageRequested = false;  // the caller prints kUsageText first
};

// Reads a bound the way atoi does (leading white space, optional sign,
// decimal digits up to the first other character, 0 when there is no
// number), except that a value beyond the range of int saturates to INT_MAX
// or INT_MIN instead of being undefined.
int parseBound(const char* text);

// The example's image: kExampleImage in the working directory when there is
// one, else the sample installed with the program (the data folder at the
// same place relative to the program's folder as where it is installed),
// else kExampleImage again, for the message that it cannot be loaded.
std::string exampleImagePath();

// argc and argv as main receives them. Exactly seven arguments give the image
// name and HH HL SH SL VH VL in that order; any other count gives the example
// (exampleImagePath()) with usageRequested set.
RunSettings settingsFromArguments(int argc, const char* const* argv);

// Writes kUsageText to standard output in one write.
void printUsage();

}  // namespace tesmic
