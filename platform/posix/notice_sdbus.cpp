// Desktop notices through the notification service on the user's session
// bus (sd-bus, as the shutdown request uses on the system bus).
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/notice.h"
#include "text/utf8.h"

namespace platform {
namespace {

constexpr const char* kDest = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kIface = "org.freedesktop.Notifications";

// Each call waits at most this long: a notice is never worth holding up the
// end of a run, and a session without the service answers at once.
constexpr uint64_t kCallTimeoutUsec = 2'000'000;

// The bus carries UTF-8 only and refuses a whole message over one stray
// byte: every byte that starts no valid sequence becomes U+FFFD. A NUL
// would end the text early and is replaced the same way.
std::string valid_utf8(const std::string& in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size();) {
    size_t n = in[i] == '\0' ? 0 : zubeto::text::utf8_sequence(in, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(in, i, n);
      i += n;
    }
  }
  return out;
}

// A service that reads the body as markup would take "<" or "&" in a path
// for the start of a tag or an entity and show something else, or nothing.
std::string markup_escaped(const std::string& in) {
  std::string out;
  for (char c : in) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// Asks the service what it can do. 1: it reads markup in the body, 0: plain
// text, -1: no service answered (not there, or not within the timeout).
int body_markup(sd_bus* bus) {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  int result = -1;
  if (sd_bus_call_method(bus, kDest, kPath, kIface, "GetCapabilities", &error, &reply, "") >= 0) {
    result = 0;
    if (sd_bus_message_enter_container(reply, 'a', "s") > 0) {
      const char* cap = nullptr;
      while (sd_bus_message_read(reply, "s", &cap) > 0) {
        if (cap && std::strcmp(cap, "body-markup") == 0) result = 1;
      }
    }
  }
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  return result;
}

}  // namespace

bool desktop_notice(const std::string& title, const std::string& body) {
  sd_bus* bus = nullptr;
  // No session bus (a cron job, a machine without a desktop): nothing to do.
  if (sd_bus_open_user(&bus) < 0) return false;
  sd_bus_set_method_call_timeout(bus, kCallTimeoutUsec);
  bool sent = false;
  int markup = body_markup(bus);
  if (markup >= 0) {
    std::string summary = valid_utf8(title);
    std::string text = valid_utf8(body);
    if (markup == 1) text = markup_escaped(text);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    // Urgency critical (2): a failed backup stays on the screen until the
    // user has seen it. "desktop-entry" ties the notice to the menu entry.
    int r = sd_bus_call_method(bus, kDest, kPath, kIface, "Notify", &error, nullptr, "susssasa{sv}i",
                               summary.c_str(), static_cast<uint32_t>(0), "zubeto", summary.c_str(), text.c_str(),
                               0, 2, "urgency", "y", static_cast<uint8_t>(2), "desktop-entry", "s", "zubeto",
                               static_cast<int32_t>(-1));
    sent = r >= 0;
    sd_bus_error_free(&error);
  }
  sd_bus_flush_close_unref(bus);
  return sent;
}

std::string current_folder() {
  std::vector<char> buf(4096);
  for (;;) {
    if (::getcwd(buf.data(), buf.size())) return std::string(buf.data());
    if (errno != ERANGE || buf.size() > (1u << 20)) return {};
    buf.resize(buf.size() * 2);
  }
}

}  // namespace platform
