// Runs one archiver command through a built library, as the worker calls
// it, in a process of its own: the fault matrix runs it as another user,
// stops it with signals, or gives it a file size limit.
//
//   arc_call <library> <function> <size> <command file> <result file> [file size limit]
//
// The result file receives the return code in decimal, a line end, and the
// output text.
#include <dlfcn.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "archiver_api.h"

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: arc_call LIB FUNCTION SIZE COMMAND-FILE RESULT-FILE [FSIZE]\n");
    return 2;
  }
  void* lib = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    std::fprintf(stderr, "%s\n", ::dlerror());
    return 3;
  }
  auto fn = reinterpret_cast<ArcCommandFn>(::dlsym(lib, argv[2]));
  if (!fn) return 4;
  std::ifstream in(argv[4], std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string command = ss.str();
  if (argc > 6) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim;
    ::getrlimit(RLIMIT_FSIZE, &lim);
    lim.rlim_cur = std::strtoull(argv[6], nullptr, 10);
    ::setrlimit(RLIMIT_FSIZE, &lim);
  }
  std::vector<char> out(32768, '\0');
  int rc = fn(nullptr, command.c_str(), out.data(), static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)));
  std::ofstream res(argv[5], std::ios::binary | std::ios::trunc);
  res << rc << "\n" << out.data();
  return 0;
}
