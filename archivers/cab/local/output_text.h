// Stand-in output-text builder for cab32 until the archivers' shared one is in.
#ifndef ZUBETO_CAB_LOCAL_OUTPUT_TEXT_H
#define ZUBETO_CAB_LOCAL_OUTPUT_TEXT_H

#include <cstdint>
#include <string>

namespace arc_local {

// Copies `text` into `out`, using at most `size` bytes with the closing zero
// byte; a cut never splits a UTF-8 character. Nothing is written when `out`
// is null or `size` is 0.
void put_output_text(const std::string& text, char* out, uint32_t size);

}  // namespace arc_local

#endif
