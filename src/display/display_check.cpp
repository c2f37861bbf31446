#include "display/display_check.h"

#include <unistd.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <xcb/xcb.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "display/display_probe.h"
#include "platform/exit_codes.h"
#include "display/qt_platform.h"
#include "platform/terminal_text.h"

namespace tesmic {
namespace {

constexpr auto kAnswerTimeout = std::chrono::seconds(5);

// A connection that a reset dropped (see xServerAnswer) is made again after
// this pause.
constexpr auto kRetryPause = std::chrono::milliseconds(20);

// Whether a local X server listens where DISPLAY points: its socket takes
// a connection. One that never sends the setup does not count as a client,
// so closing it resets nothing.
bool localServerListens() {
  char* host = nullptr;
  int number = 0;
  int screen = 0;
  if (xcb_parse_display(nullptr, &host, &number, &screen) == 0) return false;
  const bool local = host[0] == '\0' || std::strcmp(host, "unix") == 0;
  std::free(host);
  if (!local) return false;
  const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
  // Linux servers listen on the abstract name first, as clients look there.
  for (const bool abstract : {true, false}) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t start = abstract ? 1 : 0;
    if (start + path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path + start, path.data(), path.size());
    const auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + start + path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool listens = connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    close(fd);
    if (listens) return true;
  }
  return false;
}

// What one attempt to connect found. Shared with the thread that connects,
// which may outlive the check when the server never answers.
struct Attempt {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool abandoned = false;  // nobody waits any more: the thread closes it
  xcb_connection_t* connection = nullptr;  // set once it made a round trip
  bool displayNamed = true;                // DISPLAY is set and well formed
  int screen = 0;                          // the screen DISPLAY names
};

void connectAndAsk(const std::shared_ptr<Attempt>& attempt) {
  int screen = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screen);
  const int error = xcb_connection_has_error(connection);
  bool answered = false;
  if (error == 0) {
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    answered = reply != nullptr;
    std::free(reply);
  }
  const std::lock_guard lock(attempt->mutex);
  attempt->done = true;
  attempt->displayNamed = error != XCB_CONN_CLOSED_PARSE_ERR;
  attempt->screen = screen;
  if (attempt->abandoned || !answered) {
    xcb_disconnect(connection);
  } else {
    attempt->connection = connection;
  }
  attempt->finished.notify_all();
}

// The connection, once it has answered a request, else null. A server that
// never answers is left to the thread that waits for it.
std::shared_ptr<xcb_connection_t> connectWithin(std::chrono::steady_clock::time_point deadline,
                                                bool& worthRetrying, int& screen) {
  auto attempt = std::make_shared<Attempt>();
  std::thread(connectAndAsk, attempt).detach();
  std::unique_lock lock(attempt->mutex);
  if (!attempt->finished.wait_until(lock, deadline, [&] { return attempt->done; })) {
    attempt->abandoned = true;
    worthRetrying = false;
    return nullptr;
  }
  worthRetrying = attempt->displayNamed;
  screen = attempt->screen;
  if (attempt->connection == nullptr) return nullptr;
  return {attempt->connection, xcb_disconnect};
}

// Whether the screen's windows show colour as Qt draws it: Qt paints
// through the root window's visual and shows nothing but black through a
// palette (PseudoColor) or anything less than 16 bits of true colour.
bool showsTrueColour(xcb_connection_t* connection, int number) {
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < number && screens.rem > 0; ++i) xcb_screen_next(&screens);
  if (screens.rem == 0) return false;
  const xcb_screen_t* screen = screens.data;
  for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem > 0;
       xcb_depth_next(&depths)) {
    for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
         xcb_visualtype_next(&visuals)) {
      if (visuals.data->visual_id == screen->root_visual) {
        return visuals.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && depths.data->depth >= 16;
      }
    }
  }
  return false;
}

// Whether the X server that DISPLAY names answers, with the connection
// that asked. The connection stays open while the check lives: an X server
// resets when its last client leaves and drops whoever connects in that
// moment; closing the check's connection just as Qt opens its own would
// be such a moment. A connection dropped by a reset that another client's
// leaving started is made again, as long as the server listens and the
// time lasts; once one has answered, no other client's leaving can reset
// the server.
DisplayCheck xServerAnswer() {
  const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
  for (;;) {
    bool worthRetrying = false;
    int screen = 0;
    std::shared_ptr<xcb_connection_t> connection = connectWithin(deadline, worthRetrying, screen);
    if (connection) {
      if (!showsTrueColour(connection.get(), screen)) {
        return {DisplayStatus::kNoTrueColour, "xcb", {}};
      }
      return {DisplayStatus::kReady, "xcb", std::move(connection)};
    }
    if (!worthRetrying || std::chrono::steady_clock::now() + kRetryPause >= deadline ||
        !localServerListens()) {
      return {DisplayStatus::kUnreachable, "xcb", {}};
    }
    std::this_thread::sleep_for(kRetryPause);
  }
}

}  // namespace

DisplayCheck checkDisplay() {
  DisplayCheck last{DisplayStatus::kUnreachable, "xcb", {}};
  for (const QtPlatform& platform : qtPlatformCandidates(std::getenv("QT_QPA_PLATFORM"))) {
    last.platform = platform.name;
    switch (platform.kind) {
      case PlatformKind::kNoScreen:
        return {DisplayStatus::kNoScreen, platform.name, {}};
      case PlatformKind::kX11: {
        DisplayCheck answer = xServerAnswer();
        if (answer.status != DisplayStatus::kUnreachable) return answer;
        break;
      }
      case PlatformKind::kOther:
        if (qtStartsInProbe(platform.entry)) return {DisplayStatus::kReady, platform.name, {}};
        break;
    }
  }
  return last;
}

std::string noDisplayMessage(const DisplayCheck& check) {
  std::string reason;
  if (check.status == DisplayStatus::kNoScreen) {
    reason = "platforma Qt \"" + escapeControlCharacters(check.platform) +
             "\" nema obrazovku; zkontrolujte promennou QT_QPA_PLATFORM";
  } else if (check.status == DisplayStatus::kNoTrueColour) {
    reason = "X server ukazuje barvy jen z palety nebo v mene nez 16 bitech a okna by "
             "zustala cerna; spustte ho s hloubkou barev 24 bitu";
  } else if (check.platform == "xcb") {
    reason = "zkontrolujte promennou DISPLAY";
  } else {
    reason = "platformu Qt \"" + escapeControlCharacters(check.platform) +
             "\" nelze spustit; zkontrolujte promennou QT_QPA_PLATFORM";
  }
  return "Chyba: neni dostupny zadny displej, okna nelze otevrit (" + reason + ").";
}

}  // namespace tesmic
