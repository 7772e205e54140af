#pragma once

#include <string>
#include <string_view>

#include "platform/file_system.h"

// Builds the text of a key=value file, one "key=value" line per field in the order added,
// with CR LF line ends as on the platform the files come from. A "\n" inside a value
// becomes a line break too, exactly as a text-mode write would make it.
namespace ds {

class KeyValueWriter {
 public:
  void Add(std::string_view key, std::string_view value);
  void Add(std::string_view key, long long value);

  const std::string& text() const { return text_; }

  // Replaces the file at `path` atomically with the text built so far.
  bool Save(const std::string& path, FileAccess access, std::string* message) const;

 private:
  std::string text_;
};

}  // namespace ds
