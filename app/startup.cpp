#include "app/startup.h"

#include <cstdio>

#include "app/program_ini.h"
#include "app/run_options.h"

namespace ds {
namespace {

void RunLocked(MainDialog& dialog, const std::function<void(MainDialog&)>& hook) {
  if (!hook)
    return;
  std::lock_guard<std::mutex> lock(dialog.mutex);
  hook(dialog);
}

std::string FileNameOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Step 6: the browser control's document mode for this program.
bool SetBrowserEmulation(Registry& registry, const std::string& exeFileName) {
  std::uint32_t mode = 0;
  if (registry.KeyExists(kBrowserEmulationKey)) {
    if (!registry.QueryDword(kBrowserEmulationKey, exeFileName, &mode)) {
      registry.SetDword(kBrowserEmulationKey, exeFileName, kBrowserEmulationMode);
    }
    return true;
  }
  registry.CreateKey(kFeatureControlKey);
  registry.CreateKey(kBrowserEmulationKey);
  if (!registry.QueryDword(kBrowserEmulationKey, exeFileName, &mode)) {
    registry.SetDword(kBrowserEmulationKey, exeFileName, kBrowserEmulationMode);
  }
  return false;
}

// Steps 7-9: storage driver and board from the system keys.
void ReadSystemValues(Registry& registry, MainDialog& dialog) {
  std::string first = std::string(kStorageClassKey) + "\\0000";
  std::string text;
  if (registry.QueryString(first, "DriverDesc", &text))
    dialog.sataDriverDesc = text;
  if (registry.QueryString(first, "DriverVersion", &text))
    dialog.sataDriverVersion = text;
  if (registry.QueryString(kBiosKey, "BaseBoardProduct", &text))
    dialog.baseBoardProduct = text;
  for (int n = 0; n <= 15; ++n) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "\\%04d", n);
    std::string desc;
    if (!registry.QueryString(kStorageClassKey + std::string(suffix), "DriverDesc", &desc)) {
      continue;
    }
    if (!desc.empty() && desc.find("AHCI") != std::string::npos) {
      dialog.sataDriverDesc = desc;
      break;
    }
  }
}

// Step 14: the autorun question.
void AskAutorun(Registry& registry, MainDialog& dialog, const std::string& autorunCommand) {
  std::uint32_t doNotAsk = 0;
  if (!registry.QueryDword(kNorvikKey, "DoNotAskMeAgain", &doNotAsk))
    doNotAsk = 0;
  if (doNotAsk != 0)
    return;
  if (!registry.KeyExists(kRunKey))
    return;
  std::string runValue;
  if (registry.QueryString(kRunKey, kRunValueName, &runValue) && !runValue.empty() &&
      runValue.find(dialog.exeFileName) != std::string::npos) {
    return;  // already registered
  }
  AutorunAnswer answer = dialog.shell().AskAutorun();
  if (!answer.ok)
    return;
  if (answer.doNotAskAgain) {
    registry.CreateKey(kNorvikKey);
    registry.SetDword(kNorvikKey, "DoNotAskMeAgain", 1);
  }
  // "No" never removes an existing Run value.
  if (answer.yes)
    registry.SetString(kRunKey, kRunValueName, autorunCommand);
}

}  // namespace

StartupResult RunStartup(MainDialog& dialog, StartupPlatform& platform) {
  Registry& registry = *platform.registry;
  // Step 3: one instance at a time.
  if (platform.acquireSingleInstance && !platform.acquireSingleInstance()) {
    return StartupResult::kSecondInstance;
  }
  // Steps 4-5.
  std::string autorunCommand = platform.programPath + " /autostart";
  {
    std::lock_guard<std::mutex> lock(dialog.mutex);
    dialog.exeFileName = FileNameOf(platform.programPath);
  }
  // Step 6.
  if (!SetBrowserEmulation(registry, dialog.exeFileName)) {
    dialog.shell().ShowMessage(
        "Setting environment variable. Please re-execute this programe again!", kProgramCaption,
        MessageIcon::kNone);
    return StartupResult::kReexecute;
  }
  {
    std::lock_guard<std::mutex> lock(dialog.mutex);
    ReadSystemValues(registry, dialog);  // steps 7-9
  }
  RunLocked(dialog, platform.collectSystemInfo);  // step 10
  {
    std::lock_guard<std::mutex> lock(dialog.mutex);
    // Step 11.
    dialog.currentPage = kPageHome;
    dialog.toolEditMode = 0;
    dialog.eraseRunning = 0;
    dialog.eraseProgress = 0;
    // Step 12.
    ProgramIni ini = ReadProgramIni(dialog.home());
    dialog.loadingTime = ini.loadingTime;
    dialog.peCycleLimit = ini.peCycleLimit;
    dialog.eulaFile = ini.eulaFile;
    dialog.makerAddress = ini.makerAddress;
    if (dialog.DataFileExists("empty.html")) {
      dialog.look.frame = "empty.html";
      ++dialog.look.frameSequence;
    }
    // Step 13.
    dialog.autostartLaunch = IsAutostartCommandLine(platform.args) ? 1 : 0;
  }
  AskAutorun(registry, dialog, autorunCommand);       // step 14
  RunLocked(dialog, platform.refreshDriveList);       // step 15
  RunLocked(dialog, platform.loadDisplaySettings);    // step 16
  RunLocked(dialog, platform.loadAlertSettings);      // step 17
  RunLocked(dialog, platform.detectModelSeries);      // step 18
  RunLocked(dialog, platform.loadSmartDescriptions);  // step 19
  RunLocked(dialog, platform.loadHistoryStart);       // step 20
  {
    std::lock_guard<std::mutex> lock(dialog.mutex);
    dialog.currentPage = kPageHome;  // step 21
    dialog.internalMode = 0;
  }
  if (platform.startMonitor)
    platform.startMonitor(dialog);  // step 22
  int seconds;
  {
    std::lock_guard<std::mutex> lock(dialog.mutex);
    seconds = dialog.loadingTime;
  }
  dialog.shell().ShowSplash(seconds);  // step 23
  {
    std::lock_guard<std::mutex> lock(dialog.mutex);
    // Steps 24-28: the browser centres the window; the skin, buttons and title are the
    // shell page's; the notification icon object exists from now on.
    dialog.look.windowShown = true;
    dialog.look.homePicture = true;
    dialog.look.setSelected(kButtonHome, true);
    dialog.trayCreated = true;
    dialog.PublishLocked();
  }
  return StartupResult::kRunning;
}

}  // namespace ds
