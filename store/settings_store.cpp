#include "store/settings_store.h"

#include <cstdio>
#include <ctime>

namespace ds {

std::string LocalTimeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

SettingsStore::SettingsStore(std::string home, std::function<std::string()> stamp,
                             std::function<void(std::string_view)> log)
    : home_(std::move(home)),
      stamp_(stamp ? std::move(stamp) : LocalTimeStamp),
      log_(std::move(log)) {}

void SettingsStore::Note(FileGuard* guard, SettingsFileState state, const std::string& file,
                         const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (state == SettingsFileState::kUnreadable) {
    guard->protect = true;
    if (!guard->reported) {
      problems_.push_back("the settings file " + file + " cannot be read (" + message +
                          "); it is left as it is and not saved until the program restarts");
    }
    guard->reported = true;
  } else if (state == SettingsFileState::kNothingUsable && !guard->protect) {
    guard->keepOld = true;
    if (!guard->reported) {
      problems_.push_back("the settings file " + file +
                          " holds nothing usable; it is kept beside the new one when the "
                          "settings are next saved");
    }
    guard->reported = true;
  }
}

bool SettingsStore::BeforeSave(FileGuard* guard, const std::string& file) {
  bool keepOld = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (guard->protect)
      return false;
    keepOld = guard->keepOld;
    guard->keepOld = false;
  }
  if (keepOld) {
    const std::string path = home_ + "data/" + file;
    const std::string kept = path + ".unreadable-" + stamp_();
    if (std::rename(path.c_str(), kept.c_str()) != 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      guard->protect = true;  // it could not be kept: do not replace it either
      problems_.push_back("cannot keep the settings file " + path + " aside; it is not saved");
      return false;
    }
  }
  return true;
}

void SettingsStore::LoadDisplay(DisplaySettings* settings, int driveCount) {
  std::string message;
  SettingsFileState state = LoadDisplaySettings(*settings, home_, driveCount, &message);
  Note(&display_, state, kDisplaySettingsFile, message);
}

void SettingsStore::LoadAlert(AlertSettings* settings) {
  std::string message;
  std::vector<std::string> clamped;
  SettingsFileState state =
      LoadAlertSettings(*settings, settingsReadBusy_, home_, &message, &clamped);
  Note(&alert_, state, kAlertSettingsFile, message);
  if (state != SettingsFileState::kLoaded && state != SettingsFileState::kNothingUsable)
    return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (clamped == clampsLogged_)
      return;  // every pass reloads the file: said once is enough
    clampsLogged_ = clamped;
  }
  for (const std::string& line : clamped) {
    if (log_)
      log_(line);
  }
}

bool SettingsStore::SaveDisplay(const DisplaySettings& settings) {
  if (!BeforeSave(&display_, kDisplaySettingsFile))
    return false;
  return SaveDisplaySettings(settings, home_);
}

bool SettingsStore::SaveAlert(const AlertSettings& settings) {
  if (!BeforeSave(&alert_, kAlertSettingsFile))
    return false;
  return SaveAlertSettings(settings, home_);
}

std::vector<std::string> SettingsStore::TakeProblems() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> taken;
  taken.swap(problems_);
  return taken;
}

}  // namespace ds
