#include "store/key_value_writer.h"

namespace ds {

void KeyValueWriter::Add(std::string_view key, std::string_view value) {
  text_.append(key);
  text_ += '=';
  for (std::size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '\r' || c == '\n') {
      // Any line end inside a value (LF, CR LF or a lone CR) is written as CR LF.
      if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n')
        ++i;
      text_ += "\r\n";
    } else {
      text_ += c;
    }
  }
  text_ += "\r\n";
}

void KeyValueWriter::Add(std::string_view key, long long value) {
  Add(key, std::to_string(value));
}

bool KeyValueWriter::Save(const std::string& path, FileAccess access, std::string* message) const {
  return ReplaceFileAtomically(path, text_, access, message);
}

}  // namespace ds
