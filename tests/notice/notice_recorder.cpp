// A small desktop notification service for tests. It takes the service's
// name on the session bus the environment names and appends one line per
// notice to a record file:
//   app <TAB> icon <TAB> summary <TAB> body <TAB> urgency <TAB> desktop-entry
// with every line break of a text written as "\n" and a tab as "\t".
//   notice_recorder RECORD READY MODE
// READY is created once the name is held. MODE: "markup" (the service says
// it reads markup in the body), "plain" (it does not), or "silent" (it holds
// the name but never answers a call, as a hung service would).
#include <systemd/sd-bus.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

const char* g_record = nullptr;
bool g_markup = false;
volatile std::sig_atomic_t g_stop = 0;

std::string escaped(const char* s) {
  std::string out;
  for (; s && *s; ++s) {
    if (*s == '\n')
      out += "\\n";
    else if (*s == '\t')
      out += "\\t";
    else
      out += *s;
  }
  return out;
}

int get_capabilities(sd_bus_message* m, void*, sd_bus_error*) {
  if (g_markup) return sd_bus_reply_method_return(m, "as", 2, "body", "body-markup");
  return sd_bus_reply_method_return(m, "as", 1, "body");
}

int get_server_information(sd_bus_message* m, void*, sd_bus_error*) {
  return sd_bus_reply_method_return(m, "ssss", "recorder", "tests", "1", "1.2");
}

int close_notification(sd_bus_message* m, void*, sd_bus_error*) { return sd_bus_reply_method_return(m, ""); }

int notify(sd_bus_message* m, void*, sd_bus_error*) {
  const char *app = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
  uint32_t replaces = 0;
  int r = sd_bus_message_read(m, "susss", &app, &replaces, &icon, &summary, &body);
  if (r < 0) return r;
  if ((r = sd_bus_message_skip(m, "as")) < 0) return r;
  int urgency = -1;
  std::string entry;
  if ((r = sd_bus_message_enter_container(m, 'a', "{sv}")) < 0) return r;
  while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
    const char* key = nullptr;
    if ((r = sd_bus_message_read(m, "s", &key)) < 0) return r;
    if (std::strcmp(key, "urgency") == 0) {
      uint8_t u = 0;
      if ((r = sd_bus_message_read(m, "v", "y", &u)) < 0) return r;
      urgency = u;
    } else if (std::strcmp(key, "desktop-entry") == 0) {
      const char* e = nullptr;
      if ((r = sd_bus_message_read(m, "v", "s", &e)) < 0) return r;
      entry = e ? e : "";
    } else if ((r = sd_bus_message_skip(m, "v")) < 0) {
      return r;
    }
    if ((r = sd_bus_message_exit_container(m)) < 0) return r;
  }
  if (r < 0) return r;
  sd_bus_message_exit_container(m);
  if (std::FILE* f = std::fopen(g_record, "ab")) {
    std::fprintf(f, "%s\t%s\t%s\t%s\t%d\t%s\n", escaped(app).c_str(), escaped(icon).c_str(),
                 escaped(summary).c_str(), escaped(body).c_str(), urgency, escaped(entry.c_str()).c_str());
    std::fclose(f);
  }
  return sd_bus_reply_method_return(m, "u", static_cast<uint32_t>(1));
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("GetCapabilities", "", "as", get_capabilities, 0),
    SD_BUS_METHOD("GetServerInformation", "", "ssss", get_server_information, 0),
    SD_BUS_METHOD("CloseNotification", "u", "", close_notification, 0),
    SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", notify, 0),
    SD_BUS_VTABLE_END,
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: notice_recorder RECORD READY markup|plain|silent\n");
    return 2;
  }
  g_record = argv[1];
  std::string mode = argv[3];
  g_markup = mode == "markup";
  std::signal(SIGTERM, [](int) { g_stop = 1; });
  sd_bus* bus = nullptr;
  int r = sd_bus_open_user(&bus);
  if (r < 0) {
    std::fprintf(stderr, "no session bus: %s\n", std::strerror(-r));
    return 1;
  }
  if (mode != "silent" &&
      (r = sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/Notifications",
                                    "org.freedesktop.Notifications", kVtable, nullptr)) < 0) {
    std::fprintf(stderr, "vtable: %s\n", std::strerror(-r));
    return 1;
  }
  if ((r = sd_bus_request_name(bus, "org.freedesktop.Notifications", 0)) < 0) {
    std::fprintf(stderr, "name: %s\n", std::strerror(-r));
    return 1;
  }
  if (std::FILE* f = std::fopen(argv[2], "wb")) std::fclose(f);
  while (!g_stop) {
    // The silent service never reads its calls: they wait in the bus.
    if (mode == "silent") {
      pause();
      continue;
    }
    r = sd_bus_process(bus, nullptr);
    if (r < 0) break;
    if (r > 0) continue;
    sd_bus_wait(bus, 500000);
  }
  sd_bus_flush_close_unref(bus);
  return 0;
}
