#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "text/text_helpers.h"

// Reads one key=value text file: settings, history, description tables, cookie copies
// and the program's ini file all use this one format.
//
//  - one entry per line; the key is the text before the first "=", the value the rest;
//  - the key is trimmed on both sides, the value on the right only;
//  - lines without "=" are ignored; there are no comments, sections or quoting;
//  - keys match without regard to case; a repeated key appends "\n" and its value to
//    the value of its first occurrence;
//  - lines end in LF, CR LF or a lone CR.
namespace ds {

class IniFileReader {
 public:
  // A reader of nothing, as for a file that could not be read (loaded() is false), so
  // callers keep their defaults. ReadKeyValueFile (platform/file_system.h) reads a file.
  IniFileReader() = default;

  // Parses text already in memory.
  static IniFileReader FromText(std::string_view text);

  // The value stored for `key` (trimmed before comparing), or "" when it is absent.
  std::string lookup(std::string_view key) const;

  // Nothing stays open after construction; kept so callers read like the rest of the code.
  void close() {}

  const std::vector<std::string>& keys() const { return keys_; }
  const std::vector<std::string>& values() const { return values_; }
  // False when the file could not be read.
  bool loaded() const { return loaded_; }

 private:
  void Parse(std::string_view text);

  std::vector<std::string> keys_;
  std::vector<std::string> values_;
  std::unordered_map<std::string, std::size_t> indexByFoldedKey_;
  bool loaded_ = false;
};

}  // namespace ds
