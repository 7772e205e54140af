#include "sheet/text_store.h"

#include <cstring>

namespace ds {

char* TextStore::Store(std::string_view bytes) {
  if (bytes.size() > kBlockBytes / 4) {  // a long text gets a block of its own
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(bytes.size()));
    std::memcpy(blocks_.back().get(), bytes.data(), bytes.size());
    return blocks_.back().get();
  }
  if (bytes.size() > left_) {
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockBytes));
    next_ = blocks_.back().get();
    left_ = kBlockBytes;
  }
  char* stored = next_;
  if (!bytes.empty())
    std::memcpy(stored, bytes.data(), bytes.size());
  next_ += bytes.size();
  left_ -= bytes.size();
  return stored;
}

}  // namespace ds
