#include "store/settings.h"

#include <string>

#include "platform/file_system.h"
#include "store/ini_file_reader.h"
#include "store/key_value_writer.h"
#include "store/leading_integer.h"

namespace ds {
namespace {

std::string DataPath(const std::string& home, const char* file) {
  return home + "data/" + file;
}

// The seventeen alert fields in the order they are stored.
template <typename Settings, typename Visitor>
void ForEachAlertField(Settings& s, Visitor&& visit) {
  visit("EnableAlert", s.EnableAlert);
  visit("TemperatureType", s.TemperatureType);
  visit("EnableSSL", s.EnableSSL);
  visit("Above", s.Above);
  visit("Under", s.Under);
  visit("Capacity", s.Capacity);
  visit("HealthStatus", s.HealthStatus);
  visit("LifespanYears", s.LifespanYears);
  visit("LifespanDays", s.LifespanDays);
  visit("RefreshBy", s.RefreshBy);
  visit("From", s.From);
  visit("To", s.To);
  visit("Host", s.Host);
  visit("Port", s.Port);
  visit("Id", s.Id);
  visit("Passwd", s.Passwd);
  visit("RefreshByType", s.RefreshByType);
}

// Clears a flag when the scope ends, however it is left.
class BusyFlagGuard {
 public:
  explicit BusyFlagGuard(std::atomic<int>& flag) : flag_(flag) {}
  ~BusyFlagGuard() { flag_.store(0); }
  BusyFlagGuard(const BusyFlagGuard&) = delete;
  BusyFlagGuard& operator=(const BusyFlagGuard&) = delete;

 private:
  std::atomic<int>& flag_;
};

}  // namespace

void LoadDisplaySettings(DisplaySettings& settings, const std::string& home, int driveCount) {
  settings = DisplaySettings{};
  const std::string path = DataPath(home, kDisplaySettingsFile);
  if (FileExists(path)) {
    IniFileReader reader(path);
    AssignIfNotEmpty(reader.lookup("Disk_Sel"), &settings.selectedDisk);
    AssignIfNotEmpty(reader.lookup("active_rec"), &settings.active_rec);
    AssignIfNotEmpty(reader.lookup("health_display_type"), &settings.health_display_type);
    reader.close();
  }
  if (settings.selectedDisk < 0 || settings.selectedDisk >= driveCount)
    settings.selectedDisk = 0;
}

void LoadAlertSettings(AlertSettings& settings, std::atomic<int>& settingsReadBusy,
                       const std::string& home) {
  if (settingsReadBusy.load() != 0)
    return;
  settings.EnableAlert = 0;
  settings.TemperatureType = 0;
  settings.EnableSSL = 0;
  settings.RefreshByType = 0;
  const std::string path = DataPath(home, kAlertSettingsFile);
  if (!FileExists(path))
    return;

  int expected = 0;
  if (!settingsReadBusy.compare_exchange_strong(expected, 1))
    return;  // another load won
  BusyFlagGuard clearWhenDone(settingsReadBusy);
  IniFileReader reader(path);
  ForEachAlertField(settings, [&reader](const char* key, auto& field) {
    if constexpr (std::is_same_v<std::decay_t<decltype(field)>, int>) {
      AssignIfNotEmpty(reader.lookup(key), &field);
    } else {
      field = reader.lookup(key);  // an absent key empties the field
    }
  });
  reader.close();
}

void SaveDisplaySettings(const DisplaySettings& settings, const std::string& home) {
  KeyValueWriter writer;
  writer.Add("Disk_Sel", settings.selectedDisk);
  writer.Add("active_rec", settings.active_rec);
  writer.Add("health_display_type", settings.health_display_type);
  std::string ignored;
  writer.Save(DataPath(home, kDisplaySettingsFile), FileAccess::kShared, &ignored);
}

void SaveAlertSettings(const AlertSettings& settings, const std::string& home) {
  KeyValueWriter writer;
  ForEachAlertField(settings,
                    [&writer](const char* key, const auto& field) { writer.Add(key, field); });
  std::string ignored;
  writer.Save(DataPath(home, kAlertSettingsFile), FileAccess::kOwnerOnly, &ignored);
}

}  // namespace ds
