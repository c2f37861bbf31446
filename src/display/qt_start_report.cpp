#include "display/qt_start_report.h"

#include <unistd.h>

#include <QtGlobal>

#include "platform/exit_codes.h"
#include "platform/terminal_text.h"
#include "platform/termination_signals.h"

namespace tesmic {
namespace {

// What the handler needs, set up before Qt starts: it allocates nothing.
struct ReportState {
  std::string line;
  QtMessageHandler previous = nullptr;  // gets every other message
};

ReportState& state() {
  static ReportState reportState;
  return reportState;
}

// The line for standard error when the platform did not start.
std::string qtStartFailureMessage(const std::string& platform) {
  return "Chyba: neni dostupny zadny displej, okna nelze otevrit (platformu Qt \"" +
         escapeControlCharacters(platform) +
         "\" se nepodarilo spustit, ackoli displej odpovida: chybi jeji zasuvny modul nebo "
         "knihovna, kterou potrebuje; zkontrolujte promenne QT_PLUGIN_PATH, "
         "QT_QPA_PLATFORM_PLUGIN_PATH a LD_LIBRARY_PATH).";
}

void reportFatal(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    if (state().previous != nullptr) state().previous(type, context, message);
    return;
  }
  const std::string& line = state().line;
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, line.data(), line.size());
  // No exit handler runs: the mask's temporary file goes here.
  TerminationSignals::removeFileNow();
  _exit(kExitNoDisplay);
}

}  // namespace

QtStartFailureReport::QtStartFailureReport(const std::string& platform) {
  state().line = qtStartFailureMessage(platform) + "\n";
  state().previous = qInstallMessageHandler(reportFatal);
}

QtStartFailureReport::~QtStartFailureReport() { qInstallMessageHandler(state().previous); }

}  // namespace tesmic
