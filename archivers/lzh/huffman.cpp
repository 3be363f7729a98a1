#include "huffman.h"

#include <algorithm>
#include <queue>
#include <vector>

namespace lzh {

int huffman_lengths(const uint32_t* freq, int n, int limit, uint8_t* len, int* only) {
  std::vector<int> syms;
  for (int i = 0; i < n; ++i) {
    len[i] = 0;
    if (freq[i] != 0) syms.push_back(i);
  }
  const int m = static_cast<int>(syms.size());
  if (m < 2) {
    if (only) *only = m == 1 ? syms[0] : 0;
    return m;
  }
  // Build the tree: nodes 0..m-1 are leaves, the rest inner nodes.
  std::vector<uint64_t> weight(2 * m);
  std::vector<int> parent(2 * m, -1);
  using Item = std::pair<uint64_t, int>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
  for (int i = 0; i < m; ++i) {
    weight[i] = freq[syms[i]];
    heap.push({weight[i], i});
  }
  int next = m;
  while (heap.size() > 1) {
    Item a = heap.top();
    heap.pop();
    Item b = heap.top();
    heap.pop();
    weight[next] = a.first + b.first;
    parent[a.second] = next;
    parent[b.second] = next;
    heap.push({weight[next], next});
    ++next;
  }
  const int root = next - 1;
  std::vector<int> depth(2 * m, 0);
  for (int i = root - 1; i >= 0; --i) depth[i] = depth[parent[i]] + 1;

  // Count leaves per depth; leaves deeper than the limit are pulled up and
  // the counts rebalanced so that the code stays complete.
  std::vector<int> count(std::max(limit, 64) + 2, 0);
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
  // Shortest lengths go to the most frequent symbols.
  std::vector<int> order(m);
  for (int i = 0; i < m; ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    if (weight[a] != weight[b]) return weight[a] > weight[b];
    return a < b;
  });
  int l = 1;
  for (int k = 0; k < m; ++k) {
    while (count[l] == 0) ++l;
    len[syms[order[k]]] = static_cast<uint8_t>(l);
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
