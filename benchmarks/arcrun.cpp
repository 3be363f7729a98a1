// Calls one archiver library's command function with a command text, as the
// worker does, and prints its return value and output text.
//
//   arcrun <library file> <command function> <command text>
#include <dlfcn.h>

#include <cstdio>
#include <vector>

#include "archiver_api.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: arcrun <library file> <function> <command text>\n");
    return 2;
  }
  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  auto fn = reinterpret_cast<ArcCommandFn>(dlsym(lib, argv[2]));
  if (!fn) {
    std::fprintf(stderr, "no %s in %s\n", argv[2], argv[1]);
    return 2;
  }
  std::vector<char> out(32768, '\0');
  int rc = fn(nullptr, argv[3], out.data(), 32767);
  if (rc != 0) std::fprintf(stderr, "return 0x%x\n%s\n", static_cast<unsigned>(rc), out.data());
  dlclose(lib);
  return rc == 0 ? 0 : 1;
}
