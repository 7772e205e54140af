#include "store/settings.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>

#include "platform/file_system.h"
#include "store/alert_limits.h"
#include "store/key_value_writer.h"
#include "text/ini_file_reader.h"
#include "text/leading_integer.h"

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

bool BlankOrControl(unsigned char c) {
  return c <= 0x20 || c == 0x7f;
}

// A password a "Passwd=" line would not give back as it is: the reader drops blanks at the
// end of a value, the cookie intake those at both ends, and a line break splits the line.
bool PasswordNeedsEscaping(std::string_view password) {
  if (password.empty())
    return false;
  if (BlankOrControl(password.front()) || BlankOrControl(password.back()))
    return true;
  return std::any_of(password.begin(), password.end(),
                     [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

std::string EscapePassword(std::string_view password) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : password) {
    if (BlankOrControl(c) || c == '%') {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string UnescapePassword(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '%' && at + 2 < text.size() && HexDigitValue(text[at + 1]) >= 0 &&
        HexDigitValue(text[at + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(text[at + 1]) * 16 + HexDigitValue(text[at + 2]));
      at += 2;
    } else {
      out += text[at];
    }
  }
  return out;
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

// What a settings file holds: `reader` gets its lines when it could be read.
SettingsFileState InspectSettingsFile(const std::string& path, IniFileReader* reader,
                                      std::string* message) {
  std::error_code error;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
    return SettingsFileState::kMissing;
  }
  std::string content;
  if (!ReadWholeFile(path, kMaxTextFileBytes, &content, message))
    return SettingsFileState::kUnreadable;
  *reader = IniFileReader::FromText(content);
  if (!TrimBoth(content).empty() && reader->keys().empty()) {
    SetMessage(message, "nothing usable in " + path);
    return SettingsFileState::kNothingUsable;
  }
  return SettingsFileState::kLoaded;
}

}  // namespace

SettingsFileState LoadDisplaySettings(DisplaySettings& settings, const std::string& home,
                                      int driveCount, std::string* message) {
  settings = DisplaySettings{};
  IniFileReader reader;
  const SettingsFileState state =
      InspectSettingsFile(DataPath(home, kDisplaySettingsFile), &reader, message);
  AssignIfNotEmpty(reader.lookup("Disk_Sel"), &settings.selectedDisk);
  AssignIfNotEmpty(reader.lookup("active_rec"), &settings.active_rec);
  AssignIfNotEmpty(reader.lookup("health_display_type"), &settings.health_display_type);
  // Values only the pages' own inputs can give; anything else is taken as the default.
  if (settings.selectedDisk < 0 || settings.selectedDisk >= driveCount)
    settings.selectedDisk = 0;
  if (settings.active_rec != 0 && settings.active_rec != 1)
    settings.active_rec = 0;
  if (settings.health_display_type < 0 || settings.health_display_type > 2)
    settings.health_display_type = 0;
  return state;
}

SettingsFileState LoadAlertSettings(AlertSettings& settings, std::atomic<int>& settingsReadBusy,
                                    const std::string& home, std::string* message,
                                    std::vector<std::string>* clamped) {
  if (settingsReadBusy.load() != 0)
    return SettingsFileState::kBusy;
  settings.EnableAlert = 0;
  settings.TemperatureType = 0;
  settings.EnableSSL = 0;
  settings.RefreshByType = 0;
  int expected = 0;
  if (!settingsReadBusy.compare_exchange_strong(expected, 1))
    return SettingsFileState::kBusy;  // another load won
  BusyFlagGuard clearWhenDone(settingsReadBusy);
  IniFileReader reader;
  const SettingsFileState state =
      InspectSettingsFile(DataPath(home, kAlertSettingsFile), &reader, message);
  if (state == SettingsFileState::kMissing || state == SettingsFileState::kUnreadable)
    return state;  // the texts stay as they were
  ForEachAlertField(settings, [&reader](const char* key, auto& field) {
    if constexpr (std::is_same_v<std::decay_t<decltype(field)>, int>) {
      AssignIfNotEmpty(reader.lookup(key), &field);
    } else {
      field = reader.lookup(key);  // an absent key empties the field
    }
  });
  const std::string escaped = reader.lookup(kEscapedPasswordKey);
  if (!escaped.empty())
    settings.Passwd = UnescapePassword(escaped);
  std::vector<std::string> changed = ClampAlertSettings(&settings);
  if (clamped != nullptr)
    *clamped = std::move(changed);
  return state;
}

bool SaveDisplaySettings(const DisplaySettings& settings, const std::string& home,
                         std::string* message) {
  KeyValueWriter writer;
  writer.Add("Disk_Sel", settings.selectedDisk);
  writer.Add("active_rec", settings.active_rec);
  writer.Add("health_display_type", settings.health_display_type);
  return writer.Save(DataPath(home, kDisplaySettingsFile), FileAccess::kShared, message);
}

bool SaveAlertSettings(const AlertSettings& settings, const std::string& home,
                       std::string* message) {
  KeyValueWriter writer;
  const bool escape = PasswordNeedsEscaping(settings.Passwd);
  ForEachAlertField(settings, [&](const char* key, const auto& field) {
    if constexpr (std::is_same_v<std::decay_t<decltype(field)>, std::string>) {
      if (escape && &field == &settings.Passwd) {
        // What a reader without the escaped key can take: the line without its breaks.
        std::string plain;
        std::copy_if(field.begin(), field.end(), std::back_inserter(plain),
                     [](unsigned char c) { return c >= 0x20 && c != 0x7f; });
        writer.Add(key, plain);
        return;
      }
    }
    writer.Add(key, field);
  });
  if (escape)
    writer.Add(kEscapedPasswordKey, EscapePassword(settings.Passwd));
  return writer.Save(DataPath(home, kAlertSettingsFile), FileAccess::kOwnerOnly, message);
}

}  // namespace ds
