#include "store/key_value_writer.h"

#include <sys/stat.h>

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
  // A file that holds this very text already, with the same rights, is left alone: the
  // window saves its settings on every tab click, and a flushed write costs tens of
  // milliseconds on a busy disk.
  struct stat status {};
  const mode_t mode = access == FileAccess::kOwnerOnly ? 0600 : 0644;
  std::string held;
  std::string ignored;
  if (::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
      (status.st_mode & 07777) == mode && ReadWholeFile(path, text_.size(), &held, &ignored) &&
      held == text_) {
    return true;
  }
  return ReplaceFileAtomically(path, text_, access, message);
}

}  // namespace ds
