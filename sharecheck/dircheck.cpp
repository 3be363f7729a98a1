#include "dircheck.h"

#include <string>

#include "platform/fileinfo.h"

int32_t ZUBETO_CALL dircheck_dll(const char* path, int32_t length) {
  if (!path) return 0;
  // The attribute query comes first, for every path: a share root is an
  // existing folder with no attribute but the folder bit.
  if (platform::file_attributes(std::string(path)) != platform::kAttrDirectory) return 0;
  if (path[0] != '\\' || path[1] != '\\') return 0;
  // A wrong length must never make the scan read past the caller's text.
  int32_t n = 0;
  while (n < length && path[n] != '\0') ++n;
  // Bytes, not characters: a double-byte character whose second byte is a
  // backslash counts as one.
  int count = 0;
  for (int32_t i = 2; i < n; ++i)
    if (path[i] == '\\') ++count;
  return count == 1 ? 1 : 0;
}
