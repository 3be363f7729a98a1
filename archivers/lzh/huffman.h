// Code lengths and canonical codes for the static Huffman tables of an
// "-lh5-" block.
#pragma once
#include <cstdint>

namespace lzh {

// Fills len[0..n) with code lengths of at most `limit` bits for the symbols
// whose freq is non-zero (0 for the others), so that the code is complete.
// Returns the number of symbols in use; when it is below 2 every length is 0
// and *only (if given) receives the one symbol in use, or 0.
int huffman_lengths(const uint32_t* freq, int n, int limit, uint8_t* len, int* only);

// Canonical codes for the lengths: shorter codes first, equal lengths in
// symbol order, as the decoder rebuilds them from the lengths alone.
void huffman_codes(const uint8_t* len, int n, uint16_t* code);

}  // namespace lzh
