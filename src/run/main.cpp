// tesmic: shows where one colour lies in an image.
#include <cstdio>
#include <exception>
#include <new>

#include <opencv2/core.hpp>
#include <opencv2/core/ocl.hpp>
#include <opencv2/core/utils/logger.hpp>

#include "codec/codec_session.h"
#include "run/command_line.h"
#include "run/detection_run.h"
#include "display/display_probe.h"
#include "platform/exit_codes.h"
#include "platform/process_setup.h"

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
  if (settings.usageRequested) tesmic::printUsage();

  if (const int free = tesmic::freeDescriptors(); free < tesmic::kDescriptorsNeeded) {
    std::fprintf(stderr,
                 "Chyba: program smi otevrit jen %d dalsich souboru, beh jich potrebuje %d "
                 "(zvyste limit, napriklad ulimit -n 1024).\n",
                 free, tesmic::kDescriptorsNeeded);
    return tesmic::kExitRunFailed;
  }
  try {
    return tesmic::runDetection(settings, codecs);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "Chyba: nedostatek pameti pro obrazek.\n");
  } catch (const cv::Exception& e) {
    if (e.code == cv::Error::StsNoMem) {
      std::fprintf(stderr, "Chyba: nedostatek pameti pro obrazek.\n");
    } else {
      // e.what() spans several lines with source paths; err is the reason.
      std::fprintf(stderr, "Chyba: detekce selhala: %s\n", e.err.c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Chyba: detekce selhala: %s\n", e.what());
  }
  return tesmic::kExitRunFailed;
}
