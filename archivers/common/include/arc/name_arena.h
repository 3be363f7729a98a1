// Names kept for the end of an archive (a directory written last), packed
// one after the other in large blocks: a few bytes of bookkeeping per name
// instead of a string object each, and no block ever copied as it grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace zubeto::arc {

class NameArena {
 public:
  // Where a name lies: block and offset in one number.
  using Ref = uint64_t;

  Ref add(std::string_view name) {
    if (blocks_.empty() || used_ + name.size() > block_size_) {
      size_t size = name.size() > kBlock ? name.size() : kBlock;
      blocks_.push_back(std::unique_ptr<char[]>(new char[size]));
      block_size_ = size;
      used_ = 0;
    }
    char* at = blocks_.back().get() + used_;
    if (!name.empty()) std::memcpy(at, name.data(), name.size());
    Ref ref = (static_cast<uint64_t>(blocks_.size() - 1) << 32) | used_;
    used_ += name.size();
    return ref;
  }

  std::string_view get(Ref ref, size_t size) const {
    return std::string_view(blocks_[static_cast<size_t>(ref >> 32)].get() + (ref & 0xFFFFFFFFu), size);
  }

 private:
  static constexpr size_t kBlock = size_t{1} << 20;
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t block_size_ = 0;
  size_t used_ = 0;
};

}  // namespace zubeto::arc
