#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <iostream>

#include "app/autostart_service.h"
#include "app/drive_hooks.h"
#include "app/monitor_app.h"
#include "app/page_hooks.h"
#include "app/registry_facade.h"
#include "app/run_options.h"
#include "cli/erase_command.h"
#include "drive/drive_report.h"
#include "pages/export_command.h"
#include "platform/file_system.h"
#include "platform/instance_lock.h"
#include "platform/linux/linux_disk_system.h"
#include "platform/machine_facts.h"
#include "platform/process_launcher.h"
#include "platform/sim/simulated_machine.h"

namespace {

constexpr const char* kLockFile = ".drivesentinel.lock";
constexpr const char* kAddressFile = ".drivesentinel.address";
constexpr const char* kOpenPageFile = ".drivesentinel-open.html";

// Opens `address` in the user's browser without putting its token on a command line: a
// local page readable by the owner only redirects to it.
void OpenInBrowser(const std::string& home, const std::string& address,
                   ds::ProcessLauncher& launcher) {
  std::string page =
      "<!DOCTYPE html><meta charset=\"utf-8\"><meta http-equiv=\"refresh\" "
      "content=\"0;url=" +
      address + "\"><title>Norvik DriveSentinel</title>\n";
  std::string path = home + kOpenPageFile;
  std::string message;
  if (!ds::ReplaceFileAtomically(path, page, ds::FileAccess::kOwnerOnly, &message)) {
    std::fprintf(stderr, "drivesentinel: cannot open the browser: %s\n", message.c_str());
    return;
  }
  std::string url = "file://" + path;
  std::error_code error;
  for (const char* browser : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
    if (!std::filesystem::exists(browser, error))
      continue;
    std::vector<std::string> argv = {browser, "--app=" + url, "--window-size=800,600"};
    if (::geteuid() == 0) {
      // Chromium refuses to run as root inside its sandbox; keep its profile apart.
      argv.push_back("--no-sandbox");
      argv.push_back("--user-data-dir=" + home + ".browser-profile");
    }
    if (launcher.Start(argv))
      return;
  }
  if (!launcher.Start({"xdg-open", url})) {
    std::fprintf(stderr, "drivesentinel: no browser found; open %s%s\n", home.c_str(),
                 kAddressFile);
  }
}

std::string ExecutablePath() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string("drivesentinel") : path.string();
}

}  // namespace

// Entry point: parses the run mode, keeps one instance per program folder, serves the
// window on loopback and runs it until it is closed.
int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "export") {
    return ds::RunExportCommand(std::vector<std::string>(args.begin() + 1, args.end()),
                                ds::ExeDirectory(), std::cout, std::cerr);
  }
  if (!args.empty() && args[0] == "erase") {
    return ds::RunEraseCommandWithSignals(std::vector<std::string>(args.begin() + 1, args.end()),
                                          ds::ExeDirectory(), std::cout, std::cerr);
  }
  if (!args.empty() && args[0] == "report") {
    return ds::RunDriveReport(std::vector<std::string>(args.begin() + 1, args.end()),
                              ds::ExeDirectory(), std::cout, std::cerr);
  }
  ds::RunOptions options;
  std::string message;
  if (!ds::ParseRunOptions(args, &options, &message)) {
    std::fprintf(stderr, "drivesentinel: %s\n%s", message.c_str(), ds::kUsage);
    return 2;
  }
  std::string home = options.home.empty() ? ds::ExeDirectory() : options.home;
  ds::SpawnLauncher launcher;

  // One instance per program folder. A second start ends silently, or with --open shows
  // the running instance's window.
  ds::InstanceLock lock;
  if (!lock.Acquire(home + kLockFile)) {
    std::string address;
    if (options.open && ds::ReadWholeFile(home + kAddressFile, 4096, &address, &message)) {
      OpenInBrowser(home, address, launcher);
    }
    return 0;
  }

  // The machine's disks, kept for the whole run.
  std::unique_ptr<ds::DiskSystem> disks;
  bool simulated = options.source != ds::DiskSource::kRealDisks;
  if (simulated) {
    std::string folder =
        options.source == ds::DiskSource::kDemo ? home + "data/sim/demo" : options.simFolder;
    disks = ds::SimulatedMachine::Load(folder, &message);
    if (!disks) {
      std::fprintf(stderr, "drivesentinel: cannot load the simulated machine %s: %s\n",
                   folder.c_str(), message.c_str());
      return 1;
    }
  } else {
    disks = std::make_unique<ds::LinuxDiskSystem>("/");
  }

  // SIGTERM and SIGINT close the window as the Close button does; they are taken by a
  // thread of their own, so every other thread starts with them blocked.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  ds::AppOptions appOptions;
  appOptions.home = home;
  appOptions.bindAddress = options.bindAddress;
  appOptions.port = options.port;
  ds::MonitorApp app(appOptions);
  if (!app.StartServer(&message)) {
    std::fprintf(stderr, "drivesentinel: %s\n", message.c_str());
    return 1;
  }
  std::string address = app.Address();
  if (!ds::ReplaceFileAtomically(home + kAddressFile, address, ds::FileAccess::kOwnerOnly,
                                 &message)) {
    std::fprintf(stderr, "drivesentinel: cannot keep the address: %s\n", message.c_str());
  }
  std::printf("Norvik DriveSentinel: %s\n", address.c_str());
  std::fflush(stdout);

  std::thread signalWaiter([&app, &signals] {
    int received = 0;
    while (sigwait(&signals, &received) == 0) {
      if (received == SIGUSR1)
        return;
      app.RequestClose();
    }
  });

  std::string programPath = ExecutablePath();
  ds::SystemRegistryFacts facts;
  if (simulated) {
    facts.controllers.push_back({"Standard SATA AHCI Controller (simulated)", "1.1"});
    facts.baseBoardProduct = "Simulated board";
  } else {
    facts = ds::ReadSystemRegistryFacts("/");
  }
  ds::RegistryFacade registry(home + "data/registry.dat", facts, [&](const std::string& command) {
    std::string outcome;
    if (simulated) {
      outcome = "simulated machine: no service installed for \"" + command + "\"";
    } else {
      ds::InstallAutostartService(programPath, ds::kSystemUnitFolder, ds::SystemdRunning(),
                                  launcher, &outcome);
    }
    std::fprintf(stderr, "drivesentinel: autorun: %s\n", outcome.c_str());
  });

  ds::StartupPlatform platform;
  platform.registry = &registry;
  platform.programPath = programPath;
  platform.args = args;
  platform.acquireSingleInstance = [&lock] { return lock.held(); };
  ds::WireSettingsHooks(app.dialog(), platform);
  ds::SystemInfo systemInfo;
  systemInfo.Collect(ds::ReadMachineFacts("/"));
  if (disks) {
    ds::WireDriveHooks(app.dialog(), platform, *disks);
    ds::WirePageBuilders(app.dialog(), platform, *disks, registry, systemInfo, ds::LocalToday);
    ds::WireHistoryStart(platform, *disks, options.source == ds::DiskSource::kDemo, ds::LocalToday);
  }

  if (options.open)
    OpenInBrowser(home, address, launcher);
  int code = app.Run(platform);

  ::kill(::getpid(), SIGUSR1);
  signalWaiter.join();
  std::error_code ignored;
  std::filesystem::remove(home + kAddressFile, ignored);
  std::filesystem::remove(home + kOpenPageFile, ignored);
  std::fprintf(stderr, "drivesentinel: the program has ended\n");
  return code;
}
