#pragma once

#include <atomic>
#include <string>
#include <vector>

// The two settings files of the data folder. The structs are members of MainDialog; they
// are the window's display state and the Tool page's alert and mail settings.
namespace ds {

// "setting.dat": the display state of the main window.
struct DisplaySettings {
  int selectedDisk = 0;         // key Disk_Sel: index into the kept-drive list
  int active_rec = 0;           // 1 = the monitor records erase-count history
  int health_display_type = 0;  // chart type of the Health page

  bool operator==(const DisplaySettings&) const = default;
};

// "setting_tool_page.dat": alert thresholds and the mail account of the Tool page. The
// text fields hold numbers exactly as typed; an empty one switches its rule off. Each member
// has its row in the field table (store/alert_fields.h), which says how it is stored, taken
// in, shown and checked.
struct AlertSettings {
  int EnableAlert = 0;
  int TemperatureType = 0;  // 0 Celsius, 1 Fahrenheit
  int EnableSSL = 0;
  std::string Above;
  std::string Under;
  std::string Capacity;
  std::string HealthStatus;
  std::string LifespanYears;
  std::string LifespanDays;
  std::string RefreshBy;
  std::string From;
  std::string To;
  std::string Host;
  std::string Port;
  std::string Id;
  std::string Passwd;
  int RefreshByType = 0;  // 0 Day, 1 Month, 2 Year

  bool operator==(const AlertSettings&) const = default;
};

inline constexpr const char* kDisplaySettingsFile = "setting.dat";
inline constexpr const char* kAlertSettingsFile = "setting_tool_page.dat";

// A mail password with a blank or a control character at either end, or a control
// character anywhere, would not survive a "Passwd=" line. It is stored a second time under
// this key, each such character, blanks and "%" written as "%XX" (two hex digits), and a
// load takes this key before "Passwd". "Passwd=" then holds the password without its control
// characters. Any other password is stored as "Passwd=" alone, as typed.
inline constexpr const char* kEscapedPasswordKey = "Passwd_Escaped";

// What a load found of its file.
enum class SettingsFileState {
  kMissing,        // no file: defaults
  kLoaded,         // read
  kUnreadable,     // there, but cannot be read (rights, size, a folder in its place)
  kNothingUsable,  // read, but not one key=value line in it (garbage)
  kBusy,           // another load was reading the alert settings: nothing changed
};

// `home` is the home folder with a trailing "/"; the files lie in home + "data/".
// Resets the three fields to 0 and reads the file when it exists. Values the pages cannot
// give are put back to 0: selectedDisk outside 0 .. driveCount - 1, active_rec other than
// 0 or 1, health_display_type other than 0 to 2.
SettingsFileState LoadDisplaySettings(DisplaySettings& settings, const std::string& home,
                                      int driveCount, std::string* message = nullptr);

// Reads the alert settings. Does nothing while `settingsReadBusy` is set by another load.
// A missing or unreadable file zeroes the four whole numbers and keeps the texts; the
// values keep their meaning as stored (RefreshByType 3 never re-arms, any TemperatureType
// other than 0 is Fahrenheit). A number field outside its range (store/alert_limits.h) is
// clamped; `clamped` gets one line per field changed.
SettingsFileState LoadAlertSettings(AlertSettings& settings, std::atomic<int>& settingsReadBusy,
                                    const std::string& home, std::string* message = nullptr,
                                    std::vector<std::string>* clamped = nullptr);

// Replace the file whole and atomically; a failure leaves the old file (false, `message`).
// The alert settings file holds the mail password and is readable by its owner only.
bool SaveDisplaySettings(const DisplaySettings& settings, const std::string& home,
                         std::string* message = nullptr);
bool SaveAlertSettings(const AlertSettings& settings, const std::string& home,
                       std::string* message = nullptr);

}  // namespace ds
