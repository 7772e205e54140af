#include "app/main_dialog.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "platform/file_system.h"

namespace ds {
namespace {

// How a tab action runs: when it takes in the page inputs, whether it needs a maker's
// disk, and which data steps come before its page is built.
struct TabPlan {
  int buttonId;
  int page;
  bool pollFirst;  // false: the inputs are taken in after the buttons are set
  bool needsMakersDisk;
  bool detectSeries;
  bool smartDescriptions;
  bool readDrive;
  bool identifyDescriptions;
};

constexpr TabPlan kTabPlans[] = {
    {kButtonInternal, kPageInternal, true, true, true, true, true, false},
    {kTabDiskInfo, kPageDiskInfo, false, false, false, false, false, false},
    {kTabHealth, kPageHealth, true, true, true, false, true, false},
    {kTabSmart, kPageSmart, true, true, true, true, true, true},
    {kTabTool, kPageTool, true, true, false, false, false, false},
    {kTabSystem, kPageSystem, false, false, false, false, false, false},
};

const TabPlan* FindTabPlan(int buttonId) {
  for (const TabPlan& plan : kTabPlans) {
    if (plan.buttonId == buttonId)
      return &plan;
  }
  return nullptr;
}

void RunHook(const std::function<void(MainDialog&)>& hook, MainDialog& dialog) {
  if (hook)
    hook(dialog);
}

// A page builder's file appears at once on Linux; the wait stays for builders that hand
// the writing to another thread. 301 checks 10 ms apart, as long as the browser waited.
constexpr int kPageWaitChecks = 301;
constexpr auto kPageWaitStep = std::chrono::milliseconds(10);

}  // namespace

int PageOfTab(int buttonId) {
  const TabPlan* plan = FindTabPlan(buttonId);
  return plan ? plan->page : -1;
}

MainDialog::MainDialog(std::string home, WindowShell* shell)
    : home_(std::move(home)), shell_(shell) {}

MainDialog::~MainDialog() {
  // Workers end cooperatively; a jthread asks for the stop and joins on destruction.
  for (std::jthread* worker :
       {&monitorThread, &mailTestThread, &saveSettingsThread, &eraseThread}) {
    worker->request_stop();
  }
}

bool MainDialog::DataFileExists(const std::string& name) const {
  return FileExists(home_ + "data/" + name);
}

void MainDialog::PublishLocked() {
  look.page = currentPage;
  look.internalButtonVisible = internalMode == 1;
  shell_->Publish(look);
}

void MainDialog::NavigateLocked(const std::string& dataFile) {
  look.frame = dataFile;
  ++look.frameSequence;
  PublishLocked();
}

void MainDialog::BuildPageLocked(int page) {
  if (page < 0 || page >= kPageCount)
    return;
  const PageBuilder& builder = hooks.builders[static_cast<std::size_t>(page)];
  if (!builder) {
    if (DataFileExists("empty.html"))
      NavigateLocked("empty.html");
    return;
  }
  std::string file = builder(*this);
  if (file.empty())
    return;  // no page written: the loading page stays
  for (int check = 0; check < kPageWaitChecks; ++check) {
    if (DataFileExists(file)) {
      NavigateLocked(file);
      return;
    }
    std::this_thread::sleep_for(kPageWaitStep);
  }
}

void MainDialog::SetTabSelectionLocked(int buttonId) {
  for (int tab = kTabDiskInfo; tab <= kTabSystem; ++tab)
    look.setSelected(tab, tab == buttonId);
  look.setSelected(kButtonHome, false);
  // Button 1004 is set by the Internal and Disk Information actions only, so after the
  // Internal page it still looks selected on the Health to System tabs.
  if (buttonId == kButtonInternal)
    look.setSelected(kButtonInternal, true);
  if (buttonId == kTabDiskInfo)
    look.setSelected(kButtonInternal, false);
}

void MainDialog::HomeAction() {
  std::lock_guard<std::mutex> lock(mutex);
  currentPage = kPageHome;
  look.homePicture = true;
  for (int tab = kTabDiskInfo; tab <= kTabSystem; ++tab)
    look.setSelected(tab, false);
  look.setSelected(kButtonHome, true);
  look.setSelected(kButtonInternal, false);
  PublishLocked();
}

void MainDialog::TabAction(int buttonId) {
  const TabPlan* plan = FindTabPlan(buttonId);
  if (plan == nullptr)
    return;
  std::unique_lock<std::mutex> lock(mutex);
  if (buttonId == kTabTool && eraseRunning == 1)
    return;

  if (plan->pollFirst)
    RunHook(hooks.cookiePoll, *this);
  if (plan->needsMakersDisk) {
    bool makers = internalMode == 1 || (hooks.isMakersDisk && hooks.isMakersDisk(*this));
    if (!makers) {
      if (DataFileExists("Unsupported.html")) {
        currentPage = plan->page;
        look.homePicture = false;
        SetTabSelectionLocked(buttonId);
        NavigateLocked("Unsupported.html");
      } else {
        lock.unlock();
        shell_->ShowMessage("This function is only vaild for Norvik disk.", "Error Message",
                            MessageIcon::kExclamation);
      }
      return;
    }
  }
  if (DataFileExists("loading.html"))
    NavigateLocked("loading.html");
  currentPage = plan->page;
  look.homePicture = false;
  SetTabSelectionLocked(buttonId);
  PublishLocked();
  if (!plan->pollFirst)
    RunHook(hooks.cookiePoll, *this);

  if (plan->detectSeries)
    RunHook(hooks.detectModelSeries, *this);
  if (plan->smartDescriptions)
    RunHook(hooks.loadSmartDescriptions, *this);
  if (plan->readDrive)
    RunHook(hooks.readSelectedDrive, *this);
  if (plan->identifyDescriptions)
    RunHook(hooks.loadIdentifyDescriptions, *this);
  BuildPageLocked(plan->page);
}

void MainDialog::ButtonCommand(int buttonId) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!look.windowShown || look.minimized || look.ended)
      return;  // no window to click
    if (buttonId == kButtonInternal && internalMode != 1)
      return;  // the button is hidden
  }
  switch (buttonId) {
    case kButtonClose:
      Close();
      return;
    case kButtonMinimize:
      Minimize();
      return;
    case kButtonLicence:
      OpenLicenceText();
      return;
    case kButtonHome:
      HomeAction();
      return;
    case kButtonLogo: {
      std::string address;
      {
        std::lock_guard<std::mutex> lock(mutex);
        RunHook(hooks.writeSampleHistory, *this);
        address = makerAddress;
      }
      // Only web addresses: the ini value must not start a local program.
      if (address.rfind("https://", 0) == 0 || address.rfind("http://", 0) == 0) {
        shell_->OpenInNewTab(address);
      }
      return;
    }
    default:
      if (PageOfTab(buttonId) >= 0)
        TabAction(buttonId);
      return;
  }
}

void MainDialog::OpenLicenceText() {
  std::string file;
  {
    std::lock_guard<std::mutex> lock(mutex);
    file = eulaFile;
  }
  if (file.empty())
    return;
  for (char& c : file) {
    if (c == '\\')
      c = '/';
  }
  if (!FileExists(home_ + file))
    return;
  // The licence text is served from the data folder only, like every other file.
  static constexpr std::string_view kData = "data/";
  bool inData = file.size() > kData.size();
  for (std::size_t i = 0; inData && i < kData.size(); ++i) {
    char c = file[i];
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    inData = c == kData[i];
  }
  if (!inData || file.find("..") != std::string::npos) {
    std::fprintf(stderr, "drivesentinel: the licence text %s lies outside the data folder\n",
                 file.c_str());
    return;
  }
  shell_->OpenInNewTab("/data/" + file.substr(kData.size()));
}

void MainDialog::LeftButtonDown(int x, int y) {
  std::unique_lock<std::mutex> lock(mutex);
  if (!look.windowShown || look.minimized || look.ended)
    return;
  ClickState state{modelSeries, toolEditMode, eraseRunning};
  ClickAction action = HitTest(currentPage, x, y, state);
  if (action != ClickAction::kNone)
    RunClickAction(action, lock);
}

void MainDialog::RunClickAction(ClickAction action, std::unique_lock<std::mutex>& lock) {
  switch (action) {
    case ClickAction::kNone:
      return;
    case ClickAction::kToggleHistoryRecording:
      display.active_rec = display.active_rec == 0 ? 1 : 0;
      lock.unlock();
      TabAction(kTabHealth);
      return;
    case ClickAction::kHealthExportUnsupported:
      lock.unlock();
      shell_->ShowMessage("Unsupported!", "Error Message", MessageIcon::kExclamation);
      return;
    case ClickAction::kHealthExport:
      if (hooks.exportHealthWorkbook &&
          hooks.exportHealthWorkbook(*this, home_ + "data/health.xls")) {
        shell_->OfferDownload("health.xls", "health.xls");
      }
      return;
    case ClickAction::kSmartExport:
      ExportDataFile("SMART.xls", "Failed to find SMART.xls file!", lock);
      return;
    case ClickAction::kIdentifyExport:
      ExportDataFile("Identify.xls", "Failed to find Identify.xls file!", lock);
      return;
    case ClickAction::kToggleAlert:
      alert.EnableAlert = alert.EnableAlert == 0 ? 1 : 0;
      RunHook(hooks.saveAlertSettings, *this);
      return;
    case ClickAction::kCelsius:
    case ClickAction::kFahrenheit:
      alert.TemperatureType = action == ClickAction::kCelsius ? 0 : 1;
      RunHook(hooks.saveAlertSettings, *this);
      BuildPageLocked(kPageTool);
      return;
    case ClickAction::kToggleSsl:
      alert.EnableSSL = alert.EnableSSL == 0 ? 1 : 0;
      return;
    case ClickAction::kToolEdit:
      toolEditMode = 1;
      BuildPageLocked(kPageTool);
      return;
    case ClickAction::kToolSave:
      toolEditMode = 0;
      lock.unlock();
      StartWorker(saveSettingsThread, hooks.saveSettingsCheck);
      return;
    case ClickAction::kMailTest:
      lock.unlock();
      StartWorker(mailTestThread, hooks.mailFieldCheck);
      return;
    case ClickAction::kSecureErase:
      StartSecureErase(lock);
      return;
  }
}

void MainDialog::ExportDataFile(const std::string& file, const std::string& missingMessage,
                                std::unique_lock<std::mutex>& lock) {
  bool present = DataFileExists(file);
  lock.unlock();
  if (present) {
    shell_->OfferDownload(file, file);
  } else {
    shell_->ShowMessage(missingMessage, kProgramCaption, MessageIcon::kNone);
  }
}

void MainDialog::StartSecureErase(std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  bool yes = shell_->AskYesNo(
      "Running the Secure Erase command will permanently delete all the data on your drive. "
      "Make sure anything you want to keep is backed up before you proceed. Continue?",
      "Warning");
  if (!yes)
    return;
  lock.lock();
  // The question was open for a while: the state may have changed meanwhile.
  if (eraseRunning != 0 || currentPage != kPageTool)
    return;
  if (driveCount <= 0 || !hooks.secureErase)
    return;  // nothing that could be erased
  std::string fileSystems = hooks.selectedFileSystems ? hooks.selectedFileSystems(*this) : "";
  if (!fileSystems.empty()) {
    lock.unlock();
    shell_->ShowMessage("Please remove the file system first!", "Error Message",
                        MessageIcon::kExclamation);
    return;
  }
  toolEditMode = 0;
  eraseRunning = 1;
  lock.unlock();
  StartWorker(eraseThread, hooks.secureErase);
}

void MainDialog::StartWorker(std::jthread& slot, const WorkerBody& body) {
  if (!body || closed())
    return;
  if (slot.joinable()) {
    slot.request_stop();
    slot.join();
  }
  slot = std::jthread([this, body](std::stop_token stop) { body(*this, stop); });
}

void MainDialog::F2Key() {
  bool leaving = false;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!look.windowShown || look.minimized || look.ended)
      return;
    if (internalMode == 1) {
      internalMode = 0;  // hides button 1004
      leaving = true;
    }
  }
  if (leaving) {
    HomeAction();
    return;
  }
  std::string code;
  if (!shell_->AskPassword(&code))
    return;
  if (code != kInternalAccessCode)
    return;  // a wrong code gives no message
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (look.ended)
      return;
    internalMode = 1;
    PublishLocked();
  }
  TabAction(kButtonInternal);
}

void MainDialog::Minimize() {
  std::lock_guard<std::mutex> lock(mutex);
  if (look.ended)
    return;
  // A refused icon still hides the window, as the notification area does.
  look.minimized = true;
  PublishLocked();
}

void MainDialog::TrayClick(bool leftButton) {
  if (!leftButton)
    return;
  std::lock_guard<std::mutex> lock(mutex);
  if (!look.minimized || look.ended)
    return;
  look.minimized = false;
  PublishLocked();
}

void MainDialog::Close() {
  if (closed_.exchange(true))
    return;
  {
    std::lock_guard<std::mutex> lock(mutex);
    RunHook(hooks.cookiePoll, *this);  // the last edits reach the settings files
    look.minimized = false;            // the notification icon goes
    trayCreated = false;
  }
  // Workers take mutex themselves, so they are stopped and joined without it.
  for (std::jthread* worker :
       {&monitorThread, &mailTestThread, &saveSettingsThread, &eraseThread}) {
    worker->request_stop();
  }
  for (std::jthread* worker :
       {&monitorThread, &mailTestThread, &saveSettingsThread, &eraseThread}) {
    if (worker->joinable())
      worker->join();
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    RunHook(hooks.saveDisplaySettings, *this);
    RunHook(hooks.saveAlertSettings, *this);
    look.ended = true;
    PublishLocked();
  }
  if (onClosed_)
    onClosed_();
}

}  // namespace ds
