#pragma once

#include <string>
#include <string_view>

// Where a drive's erase-count history lives: one folder per drive below the data folder,
// named after the drive's model and serial. Every writer and reader of the history forms
// the folder through these functions, so they always agree on it.
namespace ds {

// The most bytes of model or serial that go into the folder name, so the name stays well
// within the file system's limit of 255 bytes per name.
inline constexpr std::size_t kHistoryNamePartLimit = 120;

// The folder name: trimmed model + "_" + trimmed serial. The texts come from the disk, so
// "/", "\", NUL and other control characters each become "_" and each part is cut to
// kHistoryNamePartLimit bytes. The result is always one harmless path component: it holds
// the "_" joint, so it is never empty, "." or "..". Empty texts give "_".
std::string HistoryFolderName(std::string_view model, std::string_view serial);

// home + "data/" + HistoryFolderName + "/". `home` is the program folder with a trailing "/".
std::string HistoryFolder(const std::string& home, std::string_view model, std::string_view serial);

}  // namespace ds
