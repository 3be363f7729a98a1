#include "huffman.h"

#include <algorithm>
#include <cstring>

namespace lzh {

namespace {
constexpr int kMaxSymbols = 512;
}

int huffman_lengths(const uint32_t* freq, int n, int limit, uint8_t* len, int* only) {
  // Called for every block and for every cost estimate: no allocation.
  int syms[kMaxSymbols];
  int m = 0;
  for (int i = 0; i < n; ++i) {
    len[i] = 0;
    if (freq[i] != 0) syms[m++] = i;
  }
  if (m < 2) {
    if (only) *only = m == 1 ? syms[0] : 0;
    return m;
  }
  // Leaves in order of weight (ties by symbol), then the tree built with two
  // queues: the leaves, and the inner nodes, which come out in order too.
  std::sort(syms, syms + m, [&](int a, int b) { return freq[a] != freq[b] ? freq[a] < freq[b] : a < b; });
  uint64_t weight[2 * kMaxSymbols];
  int parent[2 * kMaxSymbols];
  for (int i = 0; i < m; ++i) weight[i] = freq[syms[i]];
  int leaf = 0, inner = m, next = m;
  auto take = [&]() {
    if (leaf < m && (inner >= next || weight[leaf] <= weight[inner])) return leaf++;
    return inner++;
  };
  while (next < 2 * m - 1) {
    const int a = take();
    const int b = take();
    weight[next] = weight[a] + weight[b];
    parent[a] = parent[b] = next;
    ++next;
  }
  const int root = next - 1;
  int depth[2 * kMaxSymbols];
  depth[root] = 0;
  for (int i = root - 1; i >= 0; --i) depth[i] = depth[parent[i]] + 1;

  // Count leaves per depth; leaves deeper than the limit are pulled up and
  // the counts rebalanced so that the code stays complete.
  int count[kMaxSymbols + 2];
  std::memset(count, 0, sizeof count);
  for (int i = 0; i < m; ++i) count[std::min(depth[i], limit)]++;
  uint64_t total = 0;
  for (int l = 1; l <= limit; ++l) total += static_cast<uint64_t>(count[l]) << (limit - l);
  while (total > (uint64_t{1} << limit)) {
    count[limit]--;
    for (int l = limit - 1; l > 0; --l) {
      if (count[l] != 0) {
        count[l]--;
        count[l + 1] += 2;
        break;
      }
    }
    total--;
  }
  // Shortest lengths go to the most frequent symbols: the leaves from the
  // heaviest down.
  int l = 1;
  for (int k = m - 1; k >= 0; --k) {
    while (count[l] == 0) ++l;
    len[syms[k]] = static_cast<uint8_t>(l);
    count[l]--;
  }
  return m;
}

void huffman_codes(const uint8_t* len, int n, uint16_t* code) {
  uint32_t count[18] = {0};
  for (int i = 0; i < n; ++i) count[len[i]]++;
  uint32_t start[18] = {0};
  for (int l = 1; l < 17; ++l) start[l + 1] = (start[l] + count[l]) << 1;
  for (int i = 0; i < n; ++i) code[i] = len[i] ? static_cast<uint16_t>(start[len[i]]++) : 0;
}

}  // namespace lzh
