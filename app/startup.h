#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "app/registry.h"

// Start-up: the main window's initialisation, in its fixed order, from the single-instance
// check to the window standing on screen with the Home picture and the monitor running.
// Everything outside the window comes through StartupPlatform so tests can script it.
namespace ds {

struct StartupPlatform {
  Registry* registry = nullptr;
  std::string programPath;        // the executable's full path
  std::vector<std::string> args;  // the arguments after the program name

  // Every hook may be empty; the step is then skipped. They run with dialog.mutex held.
  std::function<bool()> acquireSingleInstance;
  std::function<void(MainDialog&)> collectSystemInfo;
  std::function<void(MainDialog&)> refreshDriveList;
  std::function<void(MainDialog&)> loadDisplaySettings;
  std::function<void(MainDialog&)> loadAlertSettings;
  std::function<void(MainDialog&)> detectModelSeries;
  std::function<void(MainDialog&)> loadSmartDescriptions;
  std::function<void(MainDialog&)> loadHistoryStart;
  // Starts the monitor thread (kept in dialog.monitorThread). Runs without the mutex.
  std::function<void(MainDialog&)> startMonitor;
};

enum class StartupResult {
  kRunning,         // the window is shown
  kSecondInstance,  // another instance runs: end silently
  kReexecute,       // the browser-emulation key was just created: start again
};

inline constexpr std::uint32_t kBrowserEmulationMode = 11000;

StartupResult RunStartup(MainDialog& dialog, StartupPlatform& platform);

}  // namespace ds
