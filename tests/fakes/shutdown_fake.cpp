#include "shutdown_fake.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/system.h"

namespace fake_shutdown {

std::vector<std::string>& calls() {
  static std::vector<std::string> c;
  return c;
}

namespace {

const char* env(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return (v && *v) ? v : fallback;
}

void record(const std::string& what) {
  calls().push_back(what);
  if (const char* file = std::getenv("ZUBETO_FAKE_SHUTDOWN_RECORD")) {
    if (std::FILE* f = std::fopen(file, "ab")) {
      std::fprintf(f, "%s\n", what.c_str());
      std::fclose(f);
    }
  }
}

}  // namespace
}  // namespace fake_shutdown

namespace platform {

VersionInfo version_query() {
  fake_shutdown::record("version");
  std::string kind = fake_shutdown::env("ZUBETO_FAKE_PLATFORM", "nt");
  if (kind == "fail") return {false, 0, 0};
  if (kind == "win32s") return {true, kPlatformWin32s, 0};
  if (kind == "95") return {true, kPlatformWindows, 0};
  if (kind == "98") return {true, kPlatformWindows, 10};
  if (kind == "other") return {true, 7, 0};
  return {true, kPlatformNT, 0};
}

PrivilegeResult shutdown_privilege(const char* name, bool enable) {
  fake_shutdown::record(std::string("privilege ") + (enable ? "enable " : "disable ") + name);
  if (!enable) return PrivilegeResult::ok;
  std::string answer = fake_shutdown::env("ZUBETO_FAKE_PRIVILEGE", "ok");
  if (answer == "token") return PrivilegeResult::token_failed;
  if (answer == "lookup") return PrivilegeResult::lookup_failed;
  if (answer == "adjust") return PrivilegeResult::adjust_failed;
  return PrivilegeResult::ok;
}

bool shutdown_request() {
  fake_shutdown::record("request");
  return std::string(fake_shutdown::env("ZUBETO_FAKE_REQUEST", "ok")) != "refuse";
}

}  // namespace platform
