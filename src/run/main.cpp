// tesmic: shows where one colour lies in an image.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/core/ocl.hpp>
#include <opencv2/core/utils/logger.hpp>

#include "codec/codec_session.h"
#include "run/command_line.h"
#include "run/detection_run.h"
#include "run/mask_file.h"
#include "run/run_end.h"
#include "display/display_probe.h"
#include "platform/exit_codes.h"
#include "platform/process_setup.h"
#include "platform/termination_signals.h"

int main(int argc, char** argv) {
  tesmic::runDisplayProbeIfAsked(argc, argv);
  // First of all, so that the helper loads its libraries while the program
  // sets itself up and starts its windows.
  tesmic::CodecSession codecs;
  tesmic::prepareProcess();
  // The library's own warnings (a file it cannot open, say) would only
  // repeat, in English, what the run reports itself.
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
  // Every image here is a cv::Mat in memory; left on, the first colour
  // conversion looks for an OpenCL runtime and its devices, about 80 ms
  // before the first picture.
  cv::ocl::setUseOpenCL(false);

  const tesmic::RunSettings settings =
      tesmic::settingsFromArguments(argc, argv);
  const std::string maskPath = tesmic::maskPathFromEnvironment();
  if (settings.usageRequested) {
    tesmic::printUsage();
    // In a script's loop a wrong count would write the example's mask
    // under the name meant for another.
    if (!maskPath.empty()) {
      std::fputs("Chyba: s promennou TESMIC_MASK je treba zadat obrazek a sest mezi, "
                 "priklad se nespousti.\n",
                 stderr);
      return tesmic::kExitRunFailed;
    }
  }

  if (const int free = tesmic::freeDescriptors(); free < tesmic::kDescriptorsNeeded) {
    std::fprintf(stderr,
                 "Chyba: program smi otevrit jen %d dalsich souboru, beh jich potrebuje %d "
                 "(zvyste limit, napriklad ulimit -n 1024).\n",
                 free, tesmic::kDescriptorsNeeded);
    return tesmic::kExitRunFailed;
  }
  tesmic::TerminationSignals signals;
  // Before any other work, so that a mask that could not be kept is known
  // before the image is decoded, let alone tuned.
  std::unique_ptr<tesmic::MaskFile> maskFile;
  if (!maskPath.empty()) {
    std::string failure;
    maskFile =
        tesmic::MaskFile::prepare(maskPath, settings.imageName, codecs, &signals, failure);
    if (!maskFile) {
      std::fprintf(stderr, "%s\n", failure.c_str());
      return tesmic::kExitRunFailed;
    }
  }
  tesmic::RunEnd end(settings, std::move(maskFile), signals);
  try {
    return tesmic::runDetection(settings, codecs, end);
  } catch (...) {
    return end.fail(std::current_exception());
  }
}
