// Whether a name is valid UTF-8: formats that mark names as UTF-8 (the ZIP
// flag, pax records, the CAB attribute) mark only names that are, and store
// other names as the bytes they are. The rule itself is the shared decoder's.
#pragma once

#include "text/utf8.h"

namespace zubeto::arc {

using zubeto::text::is_ascii;
using zubeto::text::is_valid_utf8;

}  // namespace zubeto::arc
