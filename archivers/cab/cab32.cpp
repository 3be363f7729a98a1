// cab32: the cabinet archiver library that the worker loads for CAB jobs.
#include <string>

#include "archiver_api.h"
#include "cab_command.h"
#include "local/output_text.h"

ARC_EXPORT uint16_t ARC_CALL CabGetVersion(void) { return cab::kVersion; }

ARC_EXPORT int ARC_CALL Cab(void* window, const char* command, char* output, uint32_t size) {
  (void)window;
  std::string text;
  int rc;
  try {
    rc = cab::run_command(command ? command : "", text);
  } catch (const std::exception& e) {
    text = std::string("ERROR: ") + e.what() + " (no archive written)\n";
    rc = cab::kErrWrite;
  }
  arc_local::put_output_text(text, output, size);
  return rc;
}
