#include "cli/window_command.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/autostart_service.h"
#include "app/monitor_app.h"
#include "app/registry_facade.h"
#include "app/report_pages.h"
#include "cli/exit_codes.h"
#include "cli/machine_opener.h"
#include "cli/run_options.h"
#include "cli/sub_commands.h"
#include "monitor/mail_channel.h"
#include "monitor/metrics_board.h"
#include "monitor/monitor_loop.h"
#include "platform/file_system.h"
#include "platform/instance_lock.h"
#include "platform/machine_facts.h"
#include "platform/network_names.h"
#include "platform/process_launcher.h"
#include "platform/waiting_thread.h"
#include "store/program_ini.h"
#include "store/settings_store.h"
#include "web/listen_socket.h"
#include "web/metrics_server.h"
#include "web/tls_identity.h"

namespace {

constexpr const char* kAddressFile = ".drivesentinel.address";
constexpr const char* kOpenPageFile = ".drivesentinel-open.html";

constexpr const char* kVersion = "1.1";

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

namespace ds {

int RunWindowCommand(const std::vector<std::string>& args, const std::string& install) {
  ds::RunOptions options;
  std::string message;
  if (!ds::ParseRunOptions(args, &options, &message)) {
    std::fprintf(stderr, "drivesentinel: %s\n%s", message.c_str(), ds::UsageText().c_str());
    return ds::kExitUsage;
  }
  ds::ProgramRoots roots;
  ds::SystemConfig config;
  if (!ds::RootsFor(options.machine, install, &roots, &message, &config)) {
    std::fprintf(stderr, "drivesentinel: %s\n", message.c_str());
    return ds::kExitFailure;
  }
  const std::string& home = roots.home;
  ds::SpawnLauncher launcher;

  // The home folder must exist and take what the program writes: a start that cannot keep
  // its settings says so instead of ending as quietly as a second instance does.
  std::error_code error;
  if (!std::filesystem::is_directory(home, error)) {
    std::fprintf(stderr, "drivesentinel: the home folder %s does not exist\n", home.c_str());
    return ds::kExitFailure;
  }
  std::filesystem::create_directory(home + "data", error);
  const char* problem = !std::filesystem::is_directory(home + "data", error) ? "not a folder"
                        : ::access((home + "data").c_str(), W_OK) != 0       ? std::strerror(errno)
                                                                             : nullptr;
  if (problem != nullptr) {
    std::fprintf(stderr,
                 "drivesentinel: cannot write into %sdata (%s); settings, history and pages "
                 "are kept there: give a writable folder with --home DIR\n",
                 home.c_str(), problem);
    return ds::kExitFailure;
  }

  // One instance per home folder. A second start ends silently, or with --open shows the
  // running instance's window.
  ds::InstanceLock lock;
  switch (lock.Acquire(home + ds::kInstanceLockFile, &message)) {
    case ds::InstanceLock::Outcome::kAcquired:
      break;
    case ds::InstanceLock::Outcome::kHeldElsewhere: {
      std::string address;
      if (options.open && ds::ReadWholeFile(home + kAddressFile, 4096, &address, &message))
        OpenInBrowser(home, address, launcher);
      return ds::kExitOk;
    }
    case ds::InstanceLock::Outcome::kFailed:
      std::fprintf(stderr, "drivesentinel: %s\n", message.c_str());
      return ds::kExitFailure;
  }

  // The machine's disks, kept for the whole run.
  const ds::MessageSink log = [](std::string_view text) {
    std::fprintf(stderr, "drivesentinel: %.*s\n", static_cast<int>(text.size()), text.data());
  };
  ds::OpenedMachine machine;
  if (!ds::OpenMachine(options.machine, roots, log, false, &machine, &message)) {
    std::fprintf(stderr, "drivesentinel: %s\n", message.c_str());
    return ds::kExitNoRights;
  }
  const bool simulated = options.machine.source != ds::DiskSource::kRealDisks;

  // SIGTERM and SIGINT close the window as the Close button does; they are taken by a
  // thread of their own, so every other thread starts with them blocked.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  const std::string programPath = ExecutablePath();
  ds::RegistryFacade registry(
      home + "data/registry.dat", ds::SystemRegistryFactsOf(machine.facts),
      [&](const std::string& command) {
        std::string outcome;
        if (simulated) {
          outcome = "simulated machine: no service installed for \"" + command + "\"";
        } else {
          ds::InstallAutostartService(programPath, ds::ServiceUnitFolders(), ds::SystemdRunning(),
                                      launcher, &outcome);
        }
        log("autorun: " + outcome);
      });
  ds::SystemInfo systemInfo;
  systemInfo.Collect(ds::ReadMachineFacts("/"));
  ds::DriveService& drives = *machine.drives;
  ds::SettingsStore settings(home, {}, log);
  ds::ReportPages pages(roots, drives, registry, settings, systemInfo, ds::LocalToday, log);
  // The mailer is only ever taken from the install folder.
  ds::MailChannel mail(roots.InstallData("CSmtp.exe"), roots.HomeData("mail.txt"), {}, log);
  ds::WindowServices services;
  services.drives = &drives;
  services.pages = &pages;
  services.settings = &settings;
  services.log = log;
  services.mail = &mail;

  ds::AppOptions appOptions;
  appOptions.roots = roots;
  appOptions.bindAddress = options.bindAddress;
  appOptions.port = options.port;
  if (!options.tlsCertFile.empty()) {
    ds::TlsIdentity tls;
    if (!ds::LoadTlsIdentity(options.tlsCertFile, options.tlsKeyFile, &tls, &message)) {
      std::fprintf(stderr, "drivesentinel: %s\n", message.c_str());
      return ds::kExitFailure;
    }
    appOptions.tlsCertPem = std::move(tls.certPem);
    appOptions.tlsKeyPem = std::move(tls.keyPem);
  }
  // Reached from other machines: by this machine's own names and those the user allows.
  const bool remote = !ds::IsLoopbackAddress(options.bindAddress);
  if (remote) {
    appOptions.extraHostNames = ds::MachineNetworkNames();
    appOptions.extraHostNames.insert(appOptions.extraHostNames.end(), options.allowHosts.begin(),
                                     options.allowHosts.end());
  } else {
    appOptions.extraHostNames = options.allowHosts;
  }
  if (remote && appOptions.tlsCertPem.empty()) {
    log("warning: the window is reachable from other machines on " + options.bindAddress +
        " without TLS; its secret address travels in clear text. Give --tls-cert and --tls-key");
  }
  ds::MonitorApp app(appOptions, services);
  if (!app.StartServer(&message)) {
    std::fprintf(stderr, "drivesentinel: %s\n", message.c_str());
    return ds::kExitFailure;
  }
  // The Prometheus endpoint, off unless asked for (the service asks in the configuration
  // file under /etc or in its ini file). Scrapers reach it by this machine's names and
  // those allowed on the command line or in the configuration file.
  std::string metricsListen = options.metricsListen;
  for (const std::string& configured :
       {config.metricsListen, ds::ReadProgramIni(install).metricsListen}) {
    if (metricsListen.empty())
      metricsListen = configured;
  }
  ds::MetricsServerOptions metricsOptions;
  metricsOptions.hostNames = ds::MachineNetworkNames();
  for (const auto* names : {&options.allowHosts, &config.metricsAllowHosts})
    metricsOptions.hostNames.insert(metricsOptions.hostNames.end(), names->begin(), names->end());
  metricsOptions.log = log;
  ds::MetricsBoard board(kVersion);
  ds::MetricsServer metrics([&board] { return board.PrometheusText(); }, metricsOptions);
  if (!metricsListen.empty()) {
    if (!metrics.Start(metricsListen, &message)) {
      std::fprintf(stderr, "drivesentinel: %s\n", message.c_str());
      return ds::kExitFailure;
    }
    log("metrics at http://" + metricsListen + "/metrics");
    std::string host;
    int port = 0;
    if (ds::SplitHostPort(metricsListen, &host, &port) && !ds::IsLoopbackAddress(host)) {
      log("warning: the metrics are reachable from other machines on " + metricsListen +
          " without TLS; they name every disk's model and serial number");
    }
  }
  // The address file (owner-only) replaces whatever an earlier run left behind.
  std::string address = app.Address();
  if (!ds::ReplaceFileAtomically(home + kAddressFile, address, ds::FileAccess::kOwnerOnly,
                                 &message)) {
    std::fprintf(stderr, "drivesentinel: cannot keep the address: %s\n", message.c_str());
  }
  if (options.autostartLaunch) {
    // Under the service the output goes to the journal, which more users read than the
    // address file: the secret stays in the file.
    std::printf(
        "Norvik DriveSentinel: listening on port %d; the window's address is in %s%s "
        "(run \"drivesentinel --open\" as root to open it)\n",
        app.port(), home.c_str(), kAddressFile);
  } else {
    std::printf("Norvik DriveSentinel: %s\n", address.c_str());
  }
  std::fflush(stdout);

  ds::WaitingThread signalWaiter([&app, &signals] {
    int received = 0;
    while (sigwait(&signals, &received) == 0) {
      if (received == SIGUSR1)
        return;
      app.RequestClose();
    }
  });

  ds::MonitorTiming timing;
  timing.period = std::chrono::seconds(options.monitorPeriodSeconds);
  // The alert hook comes from the root-only /etc file alone.
  std::optional<ds::AlertExec> alertExec;
  if (!config.alertExec.empty())
    alertExec.emplace(config.alertExec, log);
  ds::MonitorLoop monitor(app.dialog(), drives, mail, roots, timing, log, ds::WallClock::now, {},
                          metricsListen.empty() ? nullptr : &board, config);
  if (alertExec)
    monitor.SetAlertExec(&*alertExec);

  ds::StartupContext context;
  context.registry = &registry;
  context.programPath = programPath;
  context.args = args;
  context.acquireSingleInstance = [&lock] { return lock.held(); };
  context.demoMachine = options.machine.source == ds::DiskSource::kDemo;
  context.startMonitor = [&app, &monitor] {
    app.dialog().StartMonitor([&monitor](std::stop_token stop) { monitor.Run(stop); });
  };

  if (options.open)
    OpenInBrowser(home, address, launcher);
  int code = app.Run(context);

  ::kill(::getpid(), SIGUSR1);
  signalWaiter.join();
  std::error_code ignored;
  std::filesystem::remove(home + kAddressFile, ignored);
  std::filesystem::remove(home + kOpenPageFile, ignored);
  std::fprintf(stderr, "drivesentinel: the program has ended\n");
  return code;
}

}  // namespace ds
