#include "cli/home_folder.h"

#include <algorithm>

#include "text/text_helpers.h"

namespace ds {
namespace {

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/')
    folder += '/';
  return folder;
}

bool UsableHome(const std::string& value, const std::string& origin, std::string* error) {
  const bool control = std::any_of(value.begin(), value.end(), [](char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
  if (value.front() == '/' && !control)
    return true;
  SetMessage(error, origin + " must name an absolute folder on one line, not \"" + value + "\"");
  return false;
}

}  // namespace

bool ChooseHomeFolder(const std::string& homeOption, const char* environment,
                      const std::string& configHome, const std::string& iniHome,
                      const std::string& installFolder, std::string* home, std::string* error) {
  if (!homeOption.empty()) {
    *home = WithSlash(homeOption);
    return true;
  }
  if (environment != nullptr && *environment != '\0') {
    if (!UsableHome(environment, kHomeEnvironmentVariable, error))
      return false;
    *home = WithSlash(environment);
    return true;
  }
  if (!configHome.empty()) {
    if (!UsableHome(configHome, "Home_Folder of the configuration file", error))
      return false;
    *home = WithSlash(configHome);
    return true;
  }
  if (!iniHome.empty()) {
    if (!UsableHome(iniHome, "Home_Folder of the ini file", error))
      return false;
    *home = WithSlash(iniHome);
    return true;
  }
  *home = WithSlash(installFolder);
  return true;
}

}  // namespace ds
