// cab_run LIBRARY COMMAND: loads the archiver library as the worker does,
// calls its command function once and prints the return code and the output
// text. Used by the benchmark and the large-input check scripts.
#include <dlfcn.h>

#include <cstdio>
#include <vector>

#include "archiver_api.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: cab_run LIBRARY COMMAND\n");
    return 2;
  }
  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  auto cab = reinterpret_cast<ArcCommandFn>(dlsym(lib, "Cab"));
  if (!cab) return 2;
  std::vector<char> out(32768, '\0');
  int rc = cab(nullptr, argv[2], out.data(), 32767);
  std::printf("return 0x%04x\n%s", unsigned(rc), out.data());
  dlclose(lib);
  return rc == 0 ? 0 : 1;
}
