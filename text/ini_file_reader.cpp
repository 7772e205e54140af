#include "text/ini_file_reader.h"

namespace ds {

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
