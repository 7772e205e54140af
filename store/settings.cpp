#include "store/settings.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>

#include "platform/file_system.h"
#include "store/alert_fields.h"
#include "store/alert_limits.h"
#include "store/key_value_writer.h"
#include "text/ini_file_reader.h"
#include "text/leading_integer.h"

namespace ds {
namespace {

std::string DataPath(const std::string& home, const char* file) {
  return home + "data/" + file;
}

bool BlankOrControl(unsigned char c) {
  return c <= 0x20 || c == 0x7f;
}

// A text (a password) a "key=" line would not give back as it is: the reader drops blanks
// at the end of a value, the cookie intake those at both ends, and a line break splits the line.
bool NeedsEscaping(std::string_view text) {
  if (text.empty())
    return false;
  if (BlankOrControl(text.front()) || BlankOrControl(text.back()))
    return true;
  return std::any_of(text.begin(), text.end(),
                     [](unsigned char c) { return c < 0x20 || c == 0x7f; });
}

std::string EscapeText(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : text) {
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

std::string UnescapeText(std::string_view text) {
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
  const AlertSettings defaults;
  for (const AlertField& field : AlertFields()) {
    if (field.whole != nullptr)
      settings.*field.whole = defaults.*field.whole;
  }
  int expected = 0;
  if (!settingsReadBusy.compare_exchange_strong(expected, 1))
    return SettingsFileState::kBusy;  // another load won
  BusyFlagGuard clearWhenDone(settingsReadBusy);
  IniFileReader reader;
  const SettingsFileState state =
      InspectSettingsFile(DataPath(home, kAlertSettingsFile), &reader, message);
  if (state == SettingsFileState::kMissing || state == SettingsFileState::kUnreadable)
    return state;  // the texts stay as they were
  for (const AlertField& field : AlertFields()) {
    if (field.whole != nullptr) {
      AssignIfNotEmpty(reader.lookup(field.key), &(settings.*field.whole));
      continue;
    }
    settings.*field.text = reader.lookup(field.key);  // an absent key empties the field
    const std::string escaped = field.escapedKey ? reader.lookup(field.escapedKey) : "";
    if (!escaped.empty())
      settings.*field.text = UnescapeText(escaped);
  }
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
  std::vector<const AlertField*> escaped;
  for (const AlertField& field : AlertFields()) {
    if (field.whole != nullptr) {
      writer.Add(field.key, settings.*field.whole);
      continue;
    }
    const std::string& text = settings.*field.text;
    if (field.escapedKey == nullptr || !NeedsEscaping(text)) {
      writer.Add(field.key, text);
      continue;
    }
    // What a reader without the escaped key can take: the line without its breaks.
    std::string plain;
    std::copy_if(text.begin(), text.end(), std::back_inserter(plain),
                 [](unsigned char c) { return c >= 0x20 && c != 0x7f; });
    writer.Add(field.key, plain);
    escaped.push_back(&field);
  }
  for (const AlertField* field : escaped)  // after all fields
    writer.Add(field->escapedKey, EscapeText(settings.*field->text));
  return writer.Save(DataPath(home, kAlertSettingsFile), FileAccess::kOwnerOnly, message);
}

}  // namespace ds
