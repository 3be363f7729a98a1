// A stand-in archiver library for tests: it offers the two calls of every
// job type, records what it was given and answers as the test asks:
//   ZUBETO_FAKEARC_RECORD   file that receives "size=<n>\n" and the command text
//   ZUBETO_FAKEARC_RETURN   value the command function returns (default 0)
//   ZUBETO_FAKEARC_OUTPUT   output text it writes (cut to the size given)
//   ZUBETO_FAKEARC_VERSION  version x 100 (default 241)
//   ZUBETO_FAKEARC_CRASH    when set, the command function aborts the process
//                           after recording, as a broken archiver would
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "archiver_api.h"

namespace {

uint16_t version() {
  const char* v = std::getenv("ZUBETO_FAKEARC_VERSION");
  return static_cast<uint16_t>(v ? std::atoi(v) : 241);
}

[[maybe_unused]] int command(const char* name, const char* text, char* out, uint32_t size) {
  if (const char* file = std::getenv("ZUBETO_FAKEARC_RECORD")) {
    if (std::FILE* f = std::fopen(file, "wb")) {
      std::fprintf(f, "function=%s\nsize=%u\n%s", name, static_cast<unsigned>(size), text);
      std::fclose(f);
    }
  }
  if (std::getenv("ZUBETO_FAKEARC_CRASH")) std::abort();
  if (const char* o = std::getenv("ZUBETO_FAKEARC_OUTPUT")) {
    size_t n = std::strlen(o);
    if (n > size) n = size;
    std::memcpy(out, o, n);
  }
  const char* r = std::getenv("ZUBETO_FAKEARC_RETURN");
  return r ? static_cast<int>(std::strtol(r, nullptr, 0)) : 0;
}

}  // namespace

#define FAKE_ARCHIVER(Name)                                                              \
  ARC_EXPORT uint16_t ARC_CALL Name##GetVersion(void) { return version(); }              \
  FAKE_COMMAND(Name)

#ifdef FAKEARC_NO_COMMAND
#define FAKE_COMMAND(Name)
#else
#define FAKE_COMMAND(Name)                                                               \
  ARC_EXPORT int ARC_CALL Name(void*, const char* text, char* out, uint32_t size) {      \
    return command(#Name, text, out, size);                                              \
  }
#endif

FAKE_ARCHIVER(Unlha)
FAKE_ARCHIVER(Zip)
FAKE_ARCHIVER(Cab)
FAKE_ARCHIVER(Tar)
FAKE_ARCHIVER(Bga)
