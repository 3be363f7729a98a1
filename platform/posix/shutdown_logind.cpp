// The real shutdown request: asks the login manager (logind) over the system
// bus to power the machine off, without any interactive question.
// Only the installed worker links this file; tests link a recording fake.
#include <systemd/sd-bus.h>

#include <cstring>

#include "platform/system.h"

namespace platform {
namespace {

constexpr const char* kDest = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kIface = "org.freedesktop.login1.Manager";

}  // namespace

PrivilegeResult shutdown_privilege(const char* /*name*/, bool enable) {
  if (!enable) return PrivilegeResult::ok;  // nothing was taken, nothing to give back
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return PrivilegeResult::token_failed;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  PrivilegeResult result = PrivilegeResult::lookup_failed;
  if (sd_bus_call_method(bus, kDest, kPath, kIface, "CanPowerOff", &error, &reply, "") >= 0) {
    const char* answer = nullptr;
    if (sd_bus_message_read(reply, "s", &answer) >= 0 && answer) {
      // "challenge" would need a password prompt: not ours to answer unattended.
      result = std::strcmp(answer, "yes") == 0 ? PrivilegeResult::ok : PrivilegeResult::adjust_failed;
    }
  }
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_unref(bus);
  return result;
}

bool shutdown_request() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return false;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  // interactive = false: never wait for a password prompt. The login
  // manager answers at once, with an error when it will not power off.
  int r = sd_bus_call_method(bus, kDest, kPath, kIface, "PowerOff", &error, nullptr, "b", 0);
  sd_bus_error_free(&error);
  sd_bus_unref(bus);
  return r >= 0;
}

}  // namespace platform
