#include "store/history_folder.h"

#include "text/ini_file_reader.h"

namespace ds {
namespace {

std::string SafeNamePart(std::string_view text) {
  std::string_view trimmed = TrimBoth(text);
  if (trimmed.size() > kHistoryNamePartLimit)
    trimmed = TrimBoth(trimmed.substr(0, kHistoryNamePartLimit));
  std::string part(trimmed);
  for (char& c : part) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F)
      c = '_';
  }
  return part;
}

}  // namespace

std::string HistoryFolderName(std::string_view model, std::string_view serial) {
  return SafeNamePart(model) + "_" + SafeNamePart(serial);
}

std::string HistoryFolder(const std::string& home, std::string_view model,
                          std::string_view serial) {
  return home + "data/" + HistoryFolderName(model, serial) + "/";
}

}  // namespace ds
