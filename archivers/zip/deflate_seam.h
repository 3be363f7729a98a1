// Joins whole-buffer deflate streams into one: a stream compressed on its
// own ends with a final block; the chunks of a large file are compressed
// each on its own (on any thread) and then made to continue one another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zubeto::zip {

// Turns the complete raw deflate stream in `data` into one that does not
// end the stream: the final block loses its final mark and an empty stored
// block brings the end to a byte boundary, so the next stream's blocks may
// follow directly. False (and `data` unchanged) when `data` is not a
// complete, well-formed deflate stream.
bool continue_stream(std::vector<char>& data);

}  // namespace zubeto::zip
