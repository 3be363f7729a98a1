// Fuzz target: the worker's job file reader. The input is a job file; the
// file system is a fake in which every path exists, so the reader goes as
// far as the input lets it. Any input must end in a result code with the
// run log written, never a crash or a hang, and no value handed on to the
// archiver may hold a NUL byte (it would cut the command there).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "job.h"
#include "platform/fileinfo.h"
#include "result_codes.h"
#include "runlog.h"

namespace {

uint32_t everything_exists(const std::string& path, uint32_t* error) {
  if (path.find('\0') != std::string::npos) {
    if (error) *error = 22;
    return platform::kInvalidAttributes;
  }
  return platform::kAttrDirectory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  platform::set_file_attributes_source(everything_exists);
  std::FILE* in = fmemopen(const_cast<uint8_t*>(size ? data : reinterpret_cast<const uint8_t*>("")), size ? size : 1, "rb");
  if (!in) return 0;
  worker::RunLog log;
  log.file = std::fopen("/dev/null", "ab");
  int shut = 0;
  int type = worker::kJobTypeUnset;
  std::string args;
  int rc = worker::job_assemble(log, in, shut, type, args);
  std::fclose(in);
  worker::log_close(log);
  if (rc == 0 && args.find('\0') != std::string::npos) __builtin_trap();
  return 0;
}
