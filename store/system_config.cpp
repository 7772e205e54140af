#include "store/system_config.h"

#include <filesystem>

#include "platform/file_system.h"
#include "text/ini_file_reader.h"

namespace ds {

SystemConfig ReadSystemConfig(const std::string& path, std::string* why) {
  SystemConfig config;
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, error)))
    return config;
  std::string problem;
  if (!OnlyRootCanChange(path, &problem)) {
    SetMessage(why, "ignoring " + path + ": " + problem);
    return config;
  }
  const IniFileReader reader = ReadKeyValueFile(path);
  if (!reader.loaded()) {
    SetMessage(why, "ignoring " + path + ": it cannot be read");
    return config;
  }
  config.metricsListen = std::string(TrimBoth(reader.lookup("Metrics_Listen")));
  config.homeFolder = reader.lookup("Home_Folder");
  config.selfTestShort = reader.lookup("SelfTest_Short");
  config.selfTestLong = reader.lookup("SelfTest_Long");
  config.alertExec = std::string(TrimBoth(reader.lookup("Alert_Exec")));
  const std::string hosts = reader.lookup("Metrics_Allow_Host");
  std::size_t start = 0;
  while (start < hosts.size()) {
    std::size_t end = hosts.find_first_of(", \t\n", start);
    if (end == std::string::npos)
      end = hosts.size();
    if (end > start)
      config.metricsAllowHosts.push_back(hosts.substr(start, end - start));
    start = end + 1;
  }
  config.ignoredSerials = SerialList(reader.lookup("Ignore_Serial"));
  config.changeAlerts =
      ParseChangeAlertSwitches(reader.lookup("Alert_SelfTest"), reader.lookup("Alert_ErrorLog"),
                               reader.lookup("Alert_Attributes"));
  return config;
}

ChangeAlertSwitches ParseChangeAlertSwitches(std::string_view selfTest, std::string_view errorLog,
                                             std::string_view attributes) {
  const auto off = [](std::string_view value) {
    std::string word(TrimBoth(value));
    for (char& c : word)
      c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return word == "off" || word == "no" || word == "0";
  };
  ChangeAlertSwitches switches;
  switches.selfTest = !off(selfTest);
  switches.errorLog = !off(errorLog);
  if (off(attributes)) {
    switches.attributes.clear();
  } else if (!TrimBoth(attributes).empty()) {
    const std::vector<int> all = switches.attributes;
    switches.attributes.clear();
    for (int id : all) {
      std::size_t start = 0;
      while (start < attributes.size()) {
        std::size_t end = attributes.find_first_of(", \t\n", start);
        if (end == std::string_view::npos)
          end = attributes.size();
        if (attributes.substr(start, end - start) == std::to_string(id)) {
          switches.attributes.push_back(id);
          break;
        }
        start = end + 1;
      }
    }
  }
  return switches;
}

std::vector<std::string> SerialList(std::string_view value) {
  std::vector<std::string> items;
  while (!value.empty()) {
    const std::size_t end = value.find_first_of(",\n");
    const std::string_view item = TrimBoth(value.substr(0, end));
    if (!item.empty())
      items.emplace_back(item);
    value = end == std::string_view::npos ? std::string_view() : value.substr(end + 1);
  }
  return items;
}

bool IsSerialIgnored(const std::vector<std::string>& ignored, std::string_view serial) {
  const std::string_view trimmed = TrimBoth(serial);
  for (const std::string& item : ignored) {
    if (!trimmed.empty() && item == trimmed)
      return true;
  }
  return false;
}

}  // namespace ds
