#include "app/startup.h"

#include <cstdio>

#include "drive/model_series.h"
#include "platform/file_system.h"
#include "store/history_folder.h"
#include "store/history_records.h"
#include "store/program_ini.h"

namespace ds {
namespace {

std::string FileNameOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The browser control's document mode for this program.
bool SetBrowserEmulation(Registry& registry, const std::string& exeFileName) {
  std::uint32_t mode = 0;
  if (registry.KeyExists(kBrowserEmulationKey)) {
    if (!registry.QueryDword(kBrowserEmulationKey, exeFileName, &mode))
      registry.SetDword(kBrowserEmulationKey, exeFileName, kBrowserEmulationMode);
    return true;
  }
  registry.CreateKey(kFeatureControlKey);
  registry.CreateKey(kBrowserEmulationKey);
  if (!registry.QueryDword(kBrowserEmulationKey, exeFileName, &mode))
    registry.SetDword(kBrowserEmulationKey, exeFileName, kBrowserEmulationMode);
  return false;
}

// Storage driver and board from the system keys.
void ReadSystemValues(const Registry& registry, WindowState& state) {
  std::string first = std::string(kStorageClassKey) + "\\0000";
  std::string text;
  if (registry.QueryString(first, "DriverDesc", &text))
    state.sataDriverDesc = text;
  if (registry.QueryString(first, "DriverVersion", &text))
    state.sataDriverVersion = text;
  if (registry.QueryString(kBiosKey, "BaseBoardProduct", &text))
    state.baseBoardProduct = text;
  for (int n = 0; n <= 15; ++n) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "\\%04d", n);
    std::string desc;
    if (!registry.QueryString(kStorageClassKey + std::string(suffix), "DriverDesc", &desc))
      continue;
    if (!desc.empty() && desc.find("AHCI") != std::string::npos) {
      state.sataDriverDesc = desc;
      break;
    }
  }
}

// True when the autorun question is to be asked: not declined for good, and the program
// not registered at startup yet.
bool AutorunQuestionDue(const Registry& registry, const std::string& exeFileName) {
  std::uint32_t doNotAsk = 0;
  if (!registry.QueryDword(kNorvikKey, "DoNotAskMeAgain", &doNotAsk))
    doNotAsk = 0;
  if (doNotAsk != 0 || !registry.KeyExists(kRunKey))
    return false;
  std::string runValue;
  return !(registry.QueryString(kRunKey, kRunValueName, &runValue) && !runValue.empty() &&
           runValue.find(exeFileName) != std::string::npos);
}

// The autorun question and its answer's effects.
void AskAutorun(Registry& registry, MainDialog& dialog, WindowShell& shell,
                const std::string& exeFileName, const std::string& autorunCommand) {
  // Asked late: the window may be gone, or another run may have answered meanwhile.
  if (dialog.closed() || !AutorunQuestionDue(registry, exeFileName))
    return;
  AutorunAnswer answer = shell.AskAutorun();
  if (!answer.ok)
    return;  // Cancel: asked again at the next start
  if (answer.doNotAskAgain) {
    registry.CreateKey(kNorvikKey);
    registry.SetDword(kNorvikKey, "DoNotAskMeAgain", 1);
  }
  // "No" never removes an existing Run value.
  if (answer.yes)
    registry.SetString(kRunKey, kRunValueName, autorunCommand);
}

// Gives the sample machine's series-0 drives a year of history, once (never real disks).
void WriteDemoHistories(const StartupContext& context, const WindowState& state) {
  for (const DriveRecord& drive : state.drives) {
    if (DetectModelSeries(drive.model) != 0)
      continue;
    AttributeTable table;
    SmartSnapshot snapshot;
    if (!LoadAttributeTable(table, context.roots.install, 0) ||
        context.services.drives->Read(drive, table, &snapshot, WakeDisk::kYes, {}) !=
            DiskRead::kRead)
      continue;
    WriteDemoHistory(HistoryFolder(context.roots.home, drive.model, drive.serial),
                     snapshot.attr167Raw, context.today());
  }
}

// The disks, the settings, the selected disk's series, descriptions and first reading, and
// the start record of its history (written on its first day with that day's erase count,
// so the disk is read before).
void ReadFirstState(const StartupContext& context, StartState& start) {
  const WindowServices& services = context.services;
  WindowState& s = start.state;
  s.SetDriveList(services.drives->RefreshDriveList({}));
  // The ini value is the starting erase-cycle limit until a disk reports its own.
  s.smart.peCycleLimit = s.peCycleLimit;
  services.settings->LoadDisplay(&s.display, s.driveCount);
  services.settings->LoadAlert(&s.alert);
  s.toolForm = s.alert;
  start.problems = services.settings->TakeProblems();
  const DriveRecord* drive = s.SelectedDrive();
  s.modelSeries = DetectModelSeries(drive ? drive->model : "");
  if (!LoadAttributeTable(s.attributeTable, context.roots.install, s.modelSeries) && services.log)
    services.log(kNoAttributeDescriptions);
  if (context.demoMachine)
    WriteDemoHistories(context, s);
  if (drive == nullptr)
    return;
  // A failed read keeps the emptied snapshot all the same: the pages then show the disk
  // unread rather than another disk's values.
  const DiskRead read =
      services.drives->Read(*drive, s.attributeTable, &s.smart, WakeDisk::kYes, {});
  if (read != DiskRead::kRead && services.log)
    services.log("disk " + std::to_string(drive->driveNumber) + " was not read at start-up");
  if (read != DiskRead::kBusy)
    s.smartOwner = SnapshotOwner::Of(*drive);
  s.modelSeries = s.smart.modelSeries;
  std::string problem;
  s.historyStart = LoadHistoryStart(HistoryFolder(context.roots.home, drive->model, drive->serial),
                                    s.smart.attr167Raw, context.today(), &problem);
  if (!problem.empty() && services.log)
    services.log(problem);
}

}  // namespace

StartupResult RunStartup(MainDialog& dialog, StartupContext& context) {
  Registry& registry = *context.registry;
  WindowShell& shell = *context.shell;
  if (context.acquireSingleInstance && !context.acquireSingleInstance())
    return StartupResult::kSecondInstance;
  const std::string exeFileName = FileNameOf(context.programPath);
  const std::string autorunCommand = context.programPath + " /autostart";
  if (!SetBrowserEmulation(registry, exeFileName)) {
    shell.ShowMessage("Setting environment variable. Please re-execute this programe again!",
                      kProgramCaption, MessageIcon::kNone);
    return StartupResult::kReexecute;
  }
  const ProgramIni ini = ReadProgramIni(context.roots.install);
  StartState start;
  start.state = dialog.CopyState();
  WindowState& s = start.state;
  s.exeFileName = exeFileName;
  ReadSystemValues(registry, s);
  s.toolEditMode = 0;
  s.eraseRunning = 0;
  s.eraseProgress = 0;
  s.loadingTime = ini.loadingTime;
  s.peCycleLimit = ini.peCycleLimit;
  s.eulaFile = ini.eulaFile;
  s.makerAddress = ini.makerAddress;
  s.autostartLaunch = context.args.size() == 1 && context.args[0] == "/autostart" ? 1 : 0;
  if (FileExists(context.roots.InstallData("empty.html")))
    start.frame = "empty.html";
  // Nobody sees the window yet: the question waits for the first page that shows it, and
  // then comes on the UI thread after start-up. A logon start has no one to ask.
  if (s.autostartLaunch == 0 && AutorunQuestionDue(registry, exeFileName)) {
    std::function<void()> ask = [registry = &registry, dialog = &dialog, shell = &shell,
                                 exeFileName, autorunCommand] {
      AskAutorun(*registry, *dialog, *shell, exeFileName, autorunCommand);
    };
    shell.WhenViewed([post = context.post, ask] { post ? post(ask) : ask(); });
  }
  ReadFirstState(context, start);
  s.currentPage = kPageHome;
  s.internalMode = 0;
  const int loadingTime = s.loadingTime;
  dialog.Start(std::move(start));
  if (context.startMonitor)
    context.startMonitor();
  shell.ShowSplash(loadingTime);
  dialog.ShowWindow();
  return StartupResult::kRunning;
}

}  // namespace ds
