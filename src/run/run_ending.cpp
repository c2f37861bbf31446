#include "run/run_ending.h"

#include <cstdio>

#include "platform/exit_codes.h"
#include "run/mask_file.h"
#include "run/repeat_command.h"

namespace tesmic {

int finishRun(const RunEnding& ending) {
  int code = kExitOk;
  if (ending.boundsChanged) {
    std::string command(ending.freshLine ? 1 : 0, '\n');
    command += repeatCommand(ending.programName, ending.imageName, ending.bounds, ending.maskPath);
    command += '\n';
    // A full device or a closed pipe would lose the bounds found: say so.
    const bool written = std::fwrite(command.data(), 1, command.size(), stdout) ==
                             command.size() &&
                         std::fflush(stdout) == 0;
    if (!written) {
      std::fputs("Chyba: prikaz, ktery beh opakuje, nelze vypsat na standardni vystup.\n",
                 stderr);
      code = kExitRunFailed;
    }
  }
  if (!ending.maskPath.empty() && ending.mask != nullptr) {
    std::string error;
    if (!writeMaskFile(ending.maskPath, *ending.mask, error)) {
      std::fprintf(stderr, "%s\n", maskFailureMessage(ending.maskPath, error).c_str());
      code = kExitRunFailed;
    }
  }
  return code;
}

}  // namespace tesmic
