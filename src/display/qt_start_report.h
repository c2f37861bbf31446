// What becomes of Qt failing to start its platform in this process.
#pragma once

#include <string>

namespace tesmic {

// While one exists, a fatal error of Qt (which it raises when no platform
// plugin starts: the plugin or a library it needs cannot be loaded, say)
// ends the process with one Czech line on standard error that names the
// platform, and the exit code for no display, instead of Qt's abort. For
// the first window, which starts Qt; one at a time.
class QtStartFailureReport {
 public:
  explicit QtStartFailureReport(const std::string& platform);
  ~QtStartFailureReport();
  QtStartFailureReport(const QtStartFailureReport&) = delete;
  QtStartFailureReport& operator=(const QtStartFailureReport&) = delete;
};

}  // namespace tesmic
