#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

// Keeps the texts of a sheet's cells packed in large blocks, so a cell costs a pointer and
// a length instead of a string object with its own allocation. Stored bytes never move and
// live as long as the store; space given up when a cell's text is replaced by a longer one
// is reclaimed only with the whole store.
namespace ds {

class TextStore {
 public:
  // A copy of `bytes` that stays valid for the store's lifetime.
  char* Store(std::string_view bytes);

 private:
  static constexpr std::size_t kBlockBytes = 64 * 1024;

  std::vector<std::unique_ptr<char[]>> blocks_;
  char* next_ = nullptr;
  std::size_t left_ = 0;
};

}  // namespace ds
