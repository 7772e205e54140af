#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "store/settings.h"

// The two settings files as the running program keeps them. Every thread loads and saves
// through this one object. A file that exists but cannot be read (no rights, too large, a
// folder in its place) is reported once and never saved over in this run: the mail account
// and password in it would be lost. A file that reads but holds nothing usable is kept
// beside the new one as NAME.unreadable-YYYYMMDD-HHMMSS before the first save replaces it.
// A stored alert value clamped at load is logged, once until the file changes again.
namespace ds {

class SettingsStore {
 public:
  // `home` is the home folder with a trailing "/". `stamp` gives the local time as
  // "YYYYMMDD-HHMMSS" for the names of kept files.
  // `log` gets the clamped values (nothing logged without it).
  explicit SettingsStore(std::string home, std::function<std::string()> stamp = {},
                         std::function<void(std::string_view)> log = {});

  void LoadDisplay(DisplaySettings* settings, int driveCount);
  void LoadAlert(AlertSettings* settings);
  // False when the file is protected (unreadable at load) or could not be written.
  bool SaveDisplay(const DisplaySettings& settings);
  bool SaveAlert(const AlertSettings& settings);

  // Problems met since the last call, each only once ("drivesentinel: ..." lines).
  std::vector<std::string> TakeProblems();

  const std::string& home() const { return home_; }

 private:
  struct FileGuard {
    bool protect = false;  // exists but could not be read: never saved over
    bool keepOld = false;  // read as garbage: moved aside before the first save
    bool reported = false;
  };
  void Note(FileGuard* guard, SettingsFileState state, const std::string& file,
            const std::string& message);
  bool BeforeSave(FileGuard* guard, const std::string& file);

  const std::string home_;
  std::function<std::string()> stamp_;
  std::function<void(std::string_view)> log_;
  std::atomic<int> settingsReadBusy_{0};
  std::mutex mutex_;  // guards the guards and the problem list, never held across file I/O
  FileGuard display_;
  FileGuard alert_;
  std::vector<std::string> problems_;
  std::vector<std::string> clampsLogged_;  // of the last load
};

// The local time as "YYYYMMDD-HHMMSS".
std::string LocalTimeStamp();

}  // namespace ds
