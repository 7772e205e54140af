#pragma once

#include <atomic>
#include <string>

// The two settings files of the data folder. The structs are members of MainDialog; they
// are the window's display state and the Tool page's alert and mail settings.
namespace ds {

// "setting.dat": the display state of the main window.
struct DisplaySettings {
  int selectedDisk = 0;         // key Disk_Sel: index into the kept-drive list
  int active_rec = 0;           // 1 = the monitor records erase-count history
  int health_display_type = 0;  // chart type of the Health page
};

// "setting_tool_page.dat": alert thresholds and the mail account of the Tool page. The
// text fields hold numbers exactly as typed; an empty one switches its rule off.
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
};

inline constexpr const char* kDisplaySettingsFile = "setting.dat";
inline constexpr const char* kAlertSettingsFile = "setting_tool_page.dat";

// `home` is the program folder with a trailing "/"; the files lie in home + "data/".

// Resets the three fields to 0, reads the file when it exists, and puts selectedDisk
// back to 0 when it does not lie in 0 .. driveCount - 1.
void LoadDisplaySettings(DisplaySettings& settings, const std::string& home, int driveCount);

// Reads the alert settings. Does nothing while `settingsReadBusy` is set by another load.
// A missing file zeroes the four whole numbers and keeps the texts.
void LoadAlertSettings(AlertSettings& settings, std::atomic<int>& settingsReadBusy,
                       const std::string& home);

// Replace the file whole and atomically; a failure leaves the old file and is silent.
// The alert settings file holds the mail password and is readable by its owner only.
void SaveDisplaySettings(const DisplaySettings& settings, const std::string& home);
void SaveAlertSettings(const AlertSettings& settings, const std::string& home);

}  // namespace ds
