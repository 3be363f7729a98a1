#include "readback.h"

#include "arcverify/verify.h"
#include "result_codes.h"
#include "texts.h"

namespace worker {

namespace {

constexpr char kFailedLine[] =
    "ERROR: the new archive failed its read-back check; it is kept for inspection and no archive was removed: ";
constexpr char kNotOursLine[] = "ERROR: not an archive the check can read (.lzh, .zip, .cab or .tar): ";
constexpr char kCheckedLine[] = "CHECKED: ";
constexpr char kVerifyFailedLine[] = "ERROR: failed its read-back check: ";

}  // namespace

std::string log_safe(std::string_view text) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int readback_step(RunLog& log, const std::string& archive) {
  arcverify::Format format;
  if (!arcverify::format_of_path(archive, format)) {
    log_put(log, kNotOursLine + log_safe(archive));
    return kResultReadBackFailed;
  }
  arcverify::Report r = arcverify::verify_file(archive, format);
  if (r.ok) return 0;
  log_put(log, kFailedLine + log_safe(archive) + " (" + r.problem + ")");
  return kResultReadBackFailed;
}

int verify_main(const std::string& archive) {
  RunLog log;
  if (!log_open(log, kRunLogFile)) return kResultNoRunLog;
  log_stamp(log, kStartTemplate);
  int rc = 0;
  arcverify::Format format;
  if (!arcverify::format_of_path(archive, format)) {
    log_put(log, kNotOursLine + log_safe(archive));
    rc = kResultReadBackFailed;
  } else {
    arcverify::Report r = arcverify::verify_file(archive, format);
    if (r.ok) {
      log_put(log, kCheckedLine + log_safe(archive) + " reads back whole (" + std::to_string(r.entries) +
                       (r.entries == 1 ? " entry)" : " entries)"));
    } else {
      log_put(log, kVerifyFailedLine + log_safe(archive) + " (" + r.problem + ")");
      rc = kResultReadBackFailed;
    }
  }
  log_stamp(log, kEndTemplate, result_digits(rc));
  log_close(log);
  return rc;
}

}  // namespace worker
