#include "store/ini_file_reader.h"

#include "platform/file_system.h"

namespace ds {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

std::string_view TrimBoth(std::string_view text) {
  text = TrimRight(text);
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  return text;
}

std::string FoldCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

IniFileReader::IniFileReader(const std::string& path) : path_(path) {
  std::string content, message;
  if (ReadWholeFile(path, kMaxTextFileBytes, &content, &message)) {
    loaded_ = true;
    Parse(content);
  }
}

IniFileReader IniFileReader::FromText(std::string_view text) {
  IniFileReader reader;
  reader.loaded_ = true;
  reader.Parse(text);
  return reader;
}

void IniFileReader::Parse(std::string_view text) {
  while (!text.empty()) {
    std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    if (end == std::string_view::npos) {
      text = {};
    } else {
      // CR LF counts as one line end; a lone CR or LF as one too.
      std::size_t next = end + 1;
      if (text[end] == '\r' && next < text.size() && text[next] == '\n')
        ++next;
      text.remove_prefix(next);
    }
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
      continue;
    std::string_view key = TrimBoth(line.substr(0, equals));
    std::string_view value = TrimRight(line.substr(equals + 1));
    auto [it, inserted] = indexByFoldedKey_.try_emplace(FoldCase(key), keys_.size());
    if (inserted) {
      keys_.emplace_back(key);
      values_.emplace_back(value);
    } else {
      std::string& joined = values_[it->second];
      joined += '\n';
      joined.append(value);
    }
  }
}

std::string IniFileReader::lookup(std::string_view key) const {
  auto it = indexByFoldedKey_.find(FoldCase(TrimBoth(key)));
  return it == indexByFoldedKey_.end() ? std::string() : values_[it->second];
}

}  // namespace ds
