#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "app/registry.h"
#include "store/history_date.h"

// Start-up: the main window's initialisation, in its fixed order, from the single-instance
// check to the window standing on screen with the Home picture and the monitor running.
// Everything outside the window comes through StartupContext so tests can script it.
// The autorun question needs someone to answer it: it waits for the first page that shows
// the window (a start with "/autostart" never asks).
namespace ds {

struct StartupContext {
  // The window's own surroundings: its folders, its shell and its services (the disks are
  // read and the settings loaded through them before the window takes its first state).
  ProgramRoots roots;
  WindowShell* shell = nullptr;
  WindowServices services;
  Registry* registry = nullptr;
  std::string programPath;        // the executable's full path
  std::vector<std::string> args;  // the arguments after the program name
  // False when another instance holds the program's lock (empty: this one does).
  std::function<bool()> acquireSingleInstance;
  // The sample machine: its X50/X55 drives get a year of generated history, once.
  bool demoMachine = false;
  LocalDateSource today = LocalToday;
  // Starts the monitor thread; empty: no monitor.
  std::function<void()> startMonitor;
  // Runs `task` later on the UI thread (the window's message loop); empty: at once, on the
  // thread that calls it.
  std::function<void(std::function<void()> task)> post;
};

enum class StartupResult {
  kRunning,         // the window is shown
  kSecondInstance,  // another instance runs: end silently
  kReexecute,       // the browser-emulation key was just created: start again
};

inline constexpr std::uint32_t kBrowserEmulationMode = 11000;

StartupResult RunStartup(MainDialog& dialog, StartupContext& context);

}  // namespace ds
