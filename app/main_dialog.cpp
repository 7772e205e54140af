#include "app/main_dialog.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <utility>

#include "drive/drive_figures.h"
#include "drive/model_series.h"
#include "platform/file_system.h"
#include "store/alert_fields.h"
#include "store/alert_limits.h"
#include "store/description_tables.h"
#include "store/history_folder.h"
#include "store/history_records.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

// The disk a snapshot belongs to: a read published after the selection moved on would
// show one disk's figures under another's name.
bool SameDrive(const DriveRecord* a, const DriveRecord* b) {
  return a != nullptr && b != nullptr && a->driveNumber == b->driveNumber &&
         a->serial == b->serial && a->model == b->model;
}

// How long a worker started by a click waits for the cookies the page stores after it.
constexpr auto kPageInputWait = std::chrono::seconds(3);

// The page that says there is nothing to show: no ATA or SATA disk on this machine.
constexpr const char* kNoDiskPage = "NoDisk.html";

// The stamp the Tool page's scripts put on the fields they store (ms since 1970), 0 none.
std::uint64_t StoredAt(const std::string& cookieText) {
  static constexpr std::string_view kName = "tool_page_stored_at=";
  std::size_t at = cookieText.find(kName);
  // The name must start an item ("a=1; tool_page_stored_at=...").
  while (at != std::string::npos && at != 0 && cookieText[at - 1] != ' ' &&
         cookieText[at - 1] != ';') {
    at = cookieText.find(kName, at + 1);
  }
  std::uint64_t stamp = 0;
  for (std::size_t i = at == std::string::npos ? cookieText.size() : at + kName.size();
       i < cookieText.size() && std::isdigit(static_cast<unsigned char>(cookieText[i])); ++i) {
    stamp = stamp * 10 + static_cast<std::uint64_t>(cookieText[i] - '0');
  }
  return stamp;
}

// The warning before an erase, with the disk it is about.
std::string EraseWarning(const EraseTarget& target) {
  char size[64];
  std::snprintf(size, sizeof size, "%.1f GB",
                static_cast<double>(target.sectorCount) * 512.0 / 1e9);
  return "Running the Secure Erase command will permanently delete all the data on your drive. "
         "Make sure anything you want to keep is backed up before you proceed. Continue?\n"
         "Disk: " +
         std::string(TrimBoth(target.model)) + ", serial " + target.serial + ", " + target.diskKey +
         ", " + size;
}

}  // namespace

int PageOfTab(int buttonId) {
  const PageEntry* plan = FindPageOfButton(buttonId);
  return plan ? plan->id : -1;
}

MainDialog::MainDialog(ProgramRoots roots, WindowShell* shell, WindowServices services)
    : roots_(std::move(roots)), shell_(shell), services_(std::move(services)) {}

MainDialog::~MainDialog() {
  pageWorker_.Stop();
  for (std::jthread* worker :
       {&monitorThread_, &mailTestThread_, &saveSettingsThread_, &eraseThread_, &selfTestThread_})
    worker->request_stop();
  if (selfTestThread_.joinable())
    selfTestThread_.join();  // it posts page builds: done before the page worker goes
}

bool MainDialog::DataFileExists(const std::string& name) const {
  return FileExists(roots_.HomeData(name)) || FileExists(roots_.InstallData(name));
}

WindowState MainDialog::CopyState() const {
  MutexLock lock(mutex_);
  return state_;
}

void MainDialog::Update(const std::function<void(WindowState&)>& change) {
  MutexLock lock(mutex_);
  change(state_);
}

void MainDialog::PublishLocked() {
  look_.page = state_.currentPage;
  look_.internalButtonVisible = state_.internalMode == 1;
  shell_->Publish(look_);
}

void MainDialog::NavigateLocked(const std::string& dataFile) {
  look_.frame = dataFile;
  ++look_.frameSequence;
  PublishLocked();
}

void MainDialog::Navigate(const std::string& dataFile) {
  MutexLock lock(mutex_);
  NavigateLocked(dataFile);
}

void MainDialog::SetTabSelectionLocked(int buttonId) {
  for (int tab = kTabDiskInfo; tab <= kTabSystem; ++tab)
    look_.setSelected(tab, tab == buttonId);
  look_.setSelected(kButtonHome, false);
  // Button 1004 is set by the Internal and Disk Information actions only, so after the
  // Internal page it still looks selected on the Health to System tabs.
  if (buttonId == kButtonInternal)
    look_.setSelected(kButtonInternal, true);
  if (buttonId == kTabDiskInfo)
    look_.setSelected(kButtonInternal, false);
}

void MainDialog::ShowPendingProblems() {
  std::vector<std::string> problems;
  {
    MutexLock lock(mutex_);
    problems.swap(unshownProblems_);
  }
  for (const std::string& problem : problems) {
    std::string text = problem;
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    shell_->ShowMessage(text + ".", "Error Message", MessageIcon::kExclamation);
  }
}

CookiePollResult MainDialog::TakeInPageInputs(CookiePollVariant variant) {
  std::lock_guard<std::mutex> polling(pollMutex_);
  WindowState copy = CopyState();
  const std::string text = services_.cookies ? services_.cookies->Get() : "";
  const CookiePollResult result =
      CookiePoll(variant, text, roots_.home, copy.driveCount, &copy.display, &copy.toolForm);
  if (result.cookiesTaken) {
    MutexLock lock(mutex_);
    state_.display = copy.display;
    // The Tool page's values go to its form only; the fields a click changes have no
    // cookie, and clicks may have changed them meanwhile.
    for (const AlertField& field : AlertFields()) {
      if (field.pageInput == nullptr)
        copy.toolForm.*field.whole = state_.toolForm.*field.whole;
    }
    state_.toolForm = copy.toolForm;
  }
  if (!services_.settings->SaveDisplay(copy.display) && services_.log)
    services_.log("the display settings were not saved");
  StoreAlert({});
  // The start record follows the selected drive.
  const DriveRecord* drive = copy.SelectedDrive();
  if (drive == nullptr)
    return result;
  std::string problem;
  HistoryStart start = LoadHistoryStart(HistoryFolder(roots_.home, drive->model, drive->serial),
                                        copy.smart.attr167Raw, services_.today(), &problem);
  if (!problem.empty() && services_.log)
    services_.log(problem);
  MutexLock lock(mutex_);
  if (SameDrive(drive, state_.SelectedDrive()))
    state_.historyStart = start;
  return result;
}

void MainDialog::StoreAlert(const std::function<void(WindowState&)>& change) {
  std::lock_guard<std::mutex> storing(storeMutex_);
  AlertSettings stored;
  {
    MutexLock lock(mutex_);
    if (change)
      change(state_);
    stored = state_.alert;
  }
  if (!services_.settings->SaveAlert(stored) && services_.log)
    services_.log("the alert settings were not saved");
}

void MainDialog::StartMonitor(std::function<void(std::stop_token)> body) {
  StartWorker(monitorThread_, std::move(body));
}

void MainDialog::ReloadAlertSettings() {
  std::lock_guard<std::mutex> storing(storeMutex_);  // not over a Save under way
  AlertSettings alert = CopyState().alert;
  services_.settings->LoadAlert(&alert);
  MutexLock lock(mutex_);
  state_.alert = alert;
}

void MainDialog::TakeInPageInputs() {
  TakeInPageInputs(CookiePollVariant::kKeeping);
}

MonitorView MainDialog::View() {
  MutexLock lock(mutex_);
  MonitorView view;
  view.alert = state_.alert;
  view.active_rec = state_.display.active_rec;
  view.autostartLaunch = state_.autostartLaunch;
  view.drives = state_.drives;
  if (const DriveRecord* drive = state_.SelectedDrive())
    view.drive = *drive;
  view.smart = state_.smart;
  view.attributeTable = state_.attributeTable;
  view.historyStart = state_.historyStart;
  return view;
}

void MainDialog::PublishReading(const DriveRecord& drive, const SmartSnapshot& snapshot) {
  MutexLock lock(mutex_);
  if (!SameDrive(&drive, state_.SelectedDrive()))
    return;  // the selection moved on meanwhile
  state_.smart = snapshot;
  state_.smartOwner = SnapshotOwner::Of(drive);
  state_.modelSeries = snapshot.modelSeries;
}

bool MainDialog::WaitForPageInputs(std::uint64_t clickTime, std::uint64_t generationAtClick) {
  if (services_.cookies == nullptr)
    return false;
  if (clickTime == 0)
    return services_.cookies->WaitNewer(generationAtClick, kPageInputWait);
  const auto end = std::chrono::steady_clock::now() + kPageInputWait;
  while (true) {
    const std::uint64_t generation = services_.cookies->generation();
    if (StoredAt(services_.cookies->Get()) >= clickTime)
      return true;
    const auto left = end - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero() ||
        !services_.cookies->WaitNewer(
            generation, std::chrono::duration_cast<std::chrono::milliseconds>(left))) {
      return false;
    }
  }
}

// ---- start-up steps ----

void MainDialog::Start(StartState start) {
  for (const std::string& problem : start.problems) {
    if (services_.log)
      services_.log(problem);
  }
  MutexLock lock(mutex_);
  state_ = std::move(start.state);
  unshownProblems_.insert(unshownProblems_.end(), start.problems.begin(), start.problems.end());
  if (!start.frame.empty())
    NavigateLocked(start.frame);
}

void MainDialog::ShowWindow() {
  {
    MutexLock lock(mutex_);
    look_.windowShown = true;
    look_.homePicture = false;
    look_.setSelected(kButtonHome, true);
    trayCreated_ = true;
    PublishLocked();
  }
  // The window opens on the Home view, built from the kept disks and the monitor's states.
  if (const PageEntry* home = FindPage(kPageHome))
    RequestPage(kPageHome, home->steps, false);
}

void MainDialog::EndWithoutWindow() {
  MutexLock lock(mutex_);
  look_.ended = true;
  PublishLocked();
}

// ---- actions ----

void MainDialog::HomeAction() {
  {
    MutexLock lock(mutex_);
    ++view_;
    state_.currentPage = kPageHome;
    look_.homePicture = false;
    for (int tab = kTabDiskInfo; tab <= kTabSystem; ++tab)
      look_.setSelected(tab, false);
    look_.setSelected(kButtonHome, true);
    look_.setSelected(kButtonInternal, false);
    PublishLocked();
  }
  if (const PageEntry* home = FindPage(kPageHome))
    RequestPage(kPageHome, home->steps, false);
}

void MainDialog::TabAction(int buttonId) {
  const PageEntry* plan = FindPageOfButton(buttonId);
  if (plan == nullptr)
    return;
  {
    MutexLock lock(mutex_);
    if (buttonId == kTabTool && state_.eraseRunning == 1)
      return;
  }
  if (plan->pollFirst)
    TakeInPageInputs(CookiePollVariant::kKeeping);
  bool makers = true;
  bool noDisk = false;
  {
    MutexLock lock(mutex_);
    noDisk = state_.driveCount == 0;
    if (plan->needsMakersDisk) {
      const DriveRecord* drive = state_.SelectedDrive();
      makers = IsMakersDisk(drive ? drive->model : "", state_.internalMode);
      // Another disk passes where its own health figure may do: unless its last snapshot
      // says it has none, the build reads it and decides.
      if (!makers && plan->healthFiguresSuffice && drive != nullptr)
        makers = !state_.smartOwner.Is(drive) ||
                 HealthSourceOf(state_.smart) == HealthSource::kEndurance;
    }
  }
  if (!makers && noDisk && DataFileExists(kNoDiskPage)) {
    // Nothing to test for a maker: say there is no disk at all.
    MutexLock lock(mutex_);
    ++view_;
    state_.currentPage = plan->id;
    look_.homePicture = false;
    SetTabSelectionLocked(buttonId);
    NavigateLocked(kNoDiskPage);
    return;
  }
  if (!makers) {
    if (DataFileExists("Unsupported.html")) {
      MutexLock lock(mutex_);
      ++view_;
      state_.currentPage = plan->id;
      look_.homePicture = false;
      SetTabSelectionLocked(buttonId);
      NavigateLocked("Unsupported.html");
    } else {
      shell_->ShowMessage("This function is only vaild for Norvik disk.", "Error Message",
                          MessageIcon::kExclamation);
    }
    return;
  }
  const bool loadingPage = DataFileExists("loading.html");
  {
    MutexLock lock(mutex_);
    ++view_;
    state_.currentPage = plan->id;
    look_.homePicture = false;
    SetTabSelectionLocked(buttonId);
    if (loadingPage)
      NavigateLocked("loading.html");  // one look for the page: selected tab and loading page
    else
      PublishLocked();
  }
  if (!plan->pollFirst)
    TakeInPageInputs(CookiePollVariant::kKeeping);
  RequestPage(plan->id, plan->steps, true);
}

void MainDialog::RequestPage(int page, unsigned steps, bool userStarted) {
  std::uint64_t view;
  {
    MutexLock lock(mutex_);
    view = view_;
  }
  pageWorker_.Post([this, page, steps, view, userStarted](std::stop_token) {
    BuildPage(page, steps, view, userStarted);
  });
}

void MainDialog::BuildPage(int page, unsigned steps, std::uint64_t view, bool userStarted) {
  // The texts of failed reads, each once, for the one box of this action.
  std::vector<std::string> readTexts;
  const MessageSink collect = [&readTexts](std::string_view text) {
    if (std::find(readTexts.begin(), readTexts.end(), text) == readTexts.end())
      readTexts.emplace_back(text);
  };
  const MessageSink shown = userStarted ? collect : MessageSink();
  WindowState copy = CopyState();
  const AlertSettings alertAtCopy = copy.alert;
  const DriveRecord* selected = copy.SelectedDrive();
  const std::optional<DriveRecord> drive =
      selected ? std::optional<DriveRecord>(*selected) : std::nullopt;

  // The page builder reads what the page needs on this copy and hands back the result.
  std::string message;
  std::optional<std::string> file = services_.pages->Build(page, steps, copy, shown, &message);
  if (!file && services_.log && !message.empty())
    services_.log("page " + std::to_string(page) + ": " + message);
  if (!file && copy.driveCount == 0 && DataFileExists(kNoDiskPage))
    file = kNoDiskPage;
  bool current = false;
  {
    MutexLock lock(mutex_);
    // What was read of the selected disk belongs to it alone: a build that finishes after
    // the selection moved on must not put one disk's figures under another's name.
    const DriveRecord* now = state_.SelectedDrive();
    const bool sameDisk = drive ? SameDrive(&*drive, now) : now == nullptr;
    if (steps != 0 && sameDisk) {
      state_.modelSeries = copy.modelSeries;
      state_.attributeTable = copy.attributeTable;
      state_.smart = copy.smart;
      state_.smartOwner = copy.smartOwner;
      state_.identifyDesc = copy.identifyDesc;
      if (page == kPageSmart)
        ++smartReads_;
    }
    if (sameDisk)
      state_.historyStart = copy.historyStart;
    // The fresh drive list belongs to the window whether or not its page is still shown.
    state_.driveCount = copy.driveCount;
    state_.enumeratedCount = copy.enumeratedCount;
    state_.driveIndexMap = copy.driveIndexMap;
    state_.drives = copy.drives;
    // The Tool page reloads the stored settings; a switch clicked while it was built is newer
    // than what it read and must not be undone.
    if (page == kPageTool && state_.alert == alertAtCopy)
      state_.alert = copy.alert;
    if (page == kPageInternal && sameDisk)
      state_.vendorFigure = copy.vendorFigure;
    current = view == view_ && state_.currentPage == page && !look_.ended;
    if (file && current)
      NavigateLocked(*file);
  }
  if (!current)
    return;  // the user has moved on: nothing to say about this page
  if (page == kPageSmart && drive && copy.smart.selfTestExecution.running())
    FollowSelfTest(*drive);
  // One box for the action: the reads that failed, and why a page could not be made (the
  // loading page would stay for good).
  const bool unmade = !file && !message.empty();
  if (unmade)
    readTexts.push_back("The page could not be made: " + message);
  if (readTexts.empty())
    return;
  std::string text;
  for (const std::string& line : readTexts)
    text += (text.empty() ? "" : "\n") + line;
  if (unmade) {
    shell_->ShowMessage(text, "Error Message", MessageIcon::kExclamation);
  } else {
    shell_->ShowMessage(text, kProgramCaption, MessageIcon::kNone);
  }
}

void MainDialog::ButtonCommand(int buttonId) {
  ShowPendingProblems();
  {
    MutexLock lock(mutex_);
    if (!look_.windowShown || look_.minimized || look_.ended)
      return;  // no window to click
    if (buttonId == kButtonInternal && state_.internalMode != 1)
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
        MutexLock lock(mutex_);
        address = state_.makerAddress;
      }
      WriteSampleHistory(roots_.home, LocalToday().year);
      // Only web addresses: the ini value must not start a local program.
      if (address.rfind("https://", 0) == 0 || address.rfind("http://", 0) == 0)
        shell_->OpenInNewTab(address);
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
    MutexLock lock(mutex_);
    file = state_.eulaFile;
  }
  if (file.empty())
    return;
  for (char& c : file) {
    if (c == '\\')
      c = '/';
  }
  if (!FileExists(roots_.install + file))
    return;
  // The licence text is served from the data folder only, like every other file.
  static constexpr std::string_view kData = "data/";
  const bool inData = file.size() > kData.size() &&
                      FoldCase(std::string_view(file).substr(0, kData.size())) == kData &&
                      file.find("..") == std::string::npos;
  if (!inData) {
    if (services_.log)
      services_.log("the licence text " + file + " lies outside the data folder");
    return;
  }
  shell_->OpenInNewTab("/data/" + file.substr(kData.size()));
}

void MainDialog::LeftButtonDown(int x, int y, std::uint64_t at) {
  ClickAction action;
  {
    MutexLock lock(mutex_);
    if (!look_.windowShown || look_.minimized || look_.ended)
      return;
    ClickState clickState{state_.modelSeries,
                          state_.toolEditMode,
                          state_.eraseRunning,
                          state_.historyStart.isEndurance(),

                          state_.smart.selfTestCapability.supported,
                          state_.smart.selfTestExecution.running()};
    action = HitTest(state_.currentPage, x, y, clickState);
  }
  if (action != ClickAction::kNone)
    RunClickAction(action, at);
}

void MainDialog::RunClickAction(ClickAction action, std::uint64_t at) {
  switch (action) {
    case ClickAction::kNone:
      return;
    case ClickAction::kToggleHistoryRecording:
      Update([](WindowState& s) { s.display.active_rec = s.display.active_rec == 0 ? 1 : 0; });
      TabAction(kTabHealth);
      return;
    case ClickAction::kHealthExportUnsupported:
      shell_->ShowMessage("Unsupported!", "Error Message", MessageIcon::kExclamation);
      return;
    case ClickAction::kHealthExport:
      ExportHealth();
      return;
    case ClickAction::kSmartExport:
      ExportDataFile("SMART.xls", "Failed to find SMART.xls file!");
      return;
    case ClickAction::kIdentifyExport:
      ExportDataFile("Identify.xls", "Failed to find Identify.xls file!");
      return;
    // The alert switch and the unit are stored at the click; the SSL switch waits for Save.
    case ClickAction::kToggleAlert:
      StoreAlert([](WindowState& s) {
        s.alert.EnableAlert = s.toolForm.EnableAlert = s.toolForm.EnableAlert == 0 ? 1 : 0;
      });
      return;
    case ClickAction::kCelsius:
    case ClickAction::kFahrenheit: {
      const int type = action == ClickAction::kCelsius ? 0 : 1;
      StoreAlert(
          [type](WindowState& s) { s.alert.TemperatureType = s.toolForm.TemperatureType = type; });
      RequestPage(kPageTool, 0, true);
      return;
    }
    case ClickAction::kToggleSsl:
      Update([](WindowState& s) { s.toolForm.EnableSSL = s.toolForm.EnableSSL == 0 ? 1 : 0; });
      return;
    case ClickAction::kToolEdit:
      Update([](WindowState& s) {
        s.toolEditMode = 1;
        s.toolForm = s.alert;
      });
      RequestPage(kPageTool, 0, true);
      return;
    case ClickAction::kToolSave:
      Update([](WindowState& s) { s.toolEditMode = 0; });
      cookiesAtClick_ = services_.cookies ? services_.cookies->generation() : 0;
      clickTime_ = at;
      StartWorker(saveSettingsThread_, [this](std::stop_token stop) { SaveSettingsCheck(stop); });
      return;
    case ClickAction::kMailTest:
      cookiesAtClick_ = services_.cookies ? services_.cookies->generation() : 0;
      clickTime_ = at;
      StartWorker(mailTestThread_, [this](std::stop_token stop) { MailFieldCheck(stop); });
      return;
    case ClickAction::kSecureErase:
      StartSecureErase();
      return;
    case ClickAction::kSelfTestShort:
      StartSelfTest(SelfTestKind::kShort);
      return;
    case ClickAction::kSelfTestExtended:
      StartSelfTest(SelfTestKind::kExtended);
      return;
    case ClickAction::kSelfTestAbort:
      StartSelfTest(SelfTestKind::kAbort);
      return;
  }
}

void MainDialog::ExportDataFile(const std::string& file, const std::string& missingMessage) {
  if (FileExists(roots_.HomeData(file))) {
    shell_->OfferDownload(file, file);
  } else {
    shell_->ShowMessage(missingMessage, kProgramCaption, MessageIcon::kNone);
  }
}

void MainDialog::ExportHealth() {
  std::string message;
  if (services_.pages->ExportHealth(CopyState(), roots_.HomeData("health.xls"), &message)) {
    shell_->OfferDownload("health.xls", "health.xls");
  } else if (services_.log) {
    services_.log("health export: " + message);
  }
}

void MainDialog::StartSecureErase() {
  // The disk is named in the warning and captured as it is now: the erase refuses to touch
  // another disk that takes its number later (a hot-plug renumbers disks).
  const WindowState state = CopyState();
  const DriveRecord* drive = state.SelectedDrive();
  EraseTarget target;
  std::string message = "no disk is selected";
  if (drive == nullptr || services_.drives == nullptr ||
      !services_.drives->CaptureEraseTarget(*drive, &target, &message)) {
    shell_->ShowMessage("Nothing can be erased: " + message, "Error Message",
                        MessageIcon::kExclamation);
    return;
  }
  if (!shell_->AskYesNo(EraseWarning(target), "Warning"))
    return;
  std::string refusal = services_.drives->EraseRefusal(target.driveNumber);
  if (refusal.empty() && !drive->fileSystems.empty())
    refusal = "Please remove the file system first!";
  if (!refusal.empty()) {
    shell_->ShowMessage(refusal, "Error Message", MessageIcon::kExclamation);
    return;
  }
  {
    MutexLock lock(mutex_);
    // The question was open for a while: the state may have changed meanwhile.
    if (state_.eraseRunning != 0 || state_.currentPage != kPageTool)
      return;
    state_.toolEditMode = 0;
    state_.eraseRunning = 1;
    state_.eraseProgress = 0;
  }
  RequestPage(kPageTool, 0, false);  // the erase tells its own outcome
  StartWorker(eraseThread_,
              [this, target](std::stop_token stop) { SecureEraseThread(stop, target); });
}

void MainDialog::SaveSettingsCheck(std::stop_token) {
  // The click reaches the program before the page has stored its cookies: without fresh
  // cookies the full poll would empty every field, so nothing is stored then.
  std::optional<std::string> refusal;
  if (!WaitForPageInputs(clickTime_, cookiesAtClick_)) {
    refusal = "The page sent no values; nothing was saved.";
  } else {
    refusal = RefusedPageInput(TakeInPageInputs(CookiePollVariant::kFull));
    if (!refusal)
      refusal = RefusedAlertInput(CopyState().toolForm);
  }
  if (refusal) {
    // Nothing is stored, and the page shown stays as it is: in edit mode, with what was typed.
    if (services_.log)
      services_.log("save refused: " + *refusal);
    Update([](WindowState& s) { s.toolEditMode = 1; });
    shell_->ShowMessage(*refusal, "Error Message", MessageIcon::kExclamation);
    return;
  }
  StoreAlert([](WindowState& s) {
    const AlertSettings form = s.toolForm;
    const AlertSettings stored = s.alert;
    s.alert = form;
    for (const AlertField& field : AlertFields()) {
      if (field.storedAtClick)
        s.alert.*field.whole = stored.*field.whole;
    }
    for (const AlertNumberField& number : AlertNumberFields(form))
      s.alert.*number.field = std::string(TrimBoth(form.*number.field));
    s.toolForm = s.alert;
  });
  RequestPage(kPageTool, 0, true);
}

std::optional<std::string> MainDialog::RefusedPageInput(const CookiePollResult& poll) {
  if (poll.refusedField.empty())
    return std::nullopt;
  const AlertField* field = AlertTextFieldByInput(poll.refusedField);
  const std::string label =
      field != nullptr ? std::string("the \"") + field->label + "\"" : std::string("one");
  return "Please shorten " + label + " field: it is too long for the browser to hand over. " +
         "Nothing was saved.";
}

void MainDialog::MailFieldCheck(std::stop_token stop) {
  // The test sends with the form as it stands, saved or not, also when the page sent
  // nothing new in time.
  if (!WaitForPageInputs(clickTime_, cookiesAtClick_) && services_.log)
    services_.log("the Tool page sent no new values; the mail test uses the form as it is");
  if (std::optional<std::string> refusal =
          RefusedPageInput(TakeInPageInputs(CookiePollVariant::kKeeping))) {
    shell_->ShowMessage(*refusal, "Error Message", MessageIcon::kExclamation);
    return;
  }
  const MailAccount account = MailAccountOf(CopyState().toolForm);
  if (std::optional<std::string> missing = ds::MailFieldCheck(account)) {
    shell_->ShowMessage(*missing, "Error Message", MessageIcon::kExclamation);
    return;
  }
  shell_->RunMailTestDialog([&](const MailTestView& view) {
    if (services_.mail == nullptr) {
      view({kMailerMissing, true, true});
      return;
    }
    const MailOutcome outcome = services_.mail->SendTest(
        account,
        [&view](std::string_view text) {
          view({std::string(text), false, false});
        },
        stop);
    view({outcome.text, outcome.isError, true});
  });
}

void MainDialog::SecureEraseThread(std::stop_token stop, EraseTarget target) {
  EraseCallbacks callbacks;
  callbacks.progress = [this](int percent) {
    Update([percent](WindowState& s) { s.eraseProgress = percent; });
    RequestPage(kPageTool, 0, false);  // shown only while the window shows the Tool page
  };
  const EraseOutcome outcome = services_.drives->Erase(target, callbacks, stop);
  if (services_.log)
    services_.log("erase of " + target.diskKey + ": " + outcome.message);
  Update([](WindowState& s) { s.eraseRunning = 0; });
  RequestPage(kPageTool, 0, false);
  shell_->ShowMessage(
      outcome.message, outcome.result == EraseResult::kErased ? kProgramCaption : "Error Message",
      outcome.result == EraseResult::kErased ? MessageIcon::kNone : MessageIcon::kExclamation);
}

void MainDialog::StartWorker(std::jthread& slot, std::function<void(std::stop_token)> body) {
  if (closed())
    return;
  if (slot.joinable()) {
    slot.request_stop();
    slot.join();
  }
  slot = std::jthread(std::move(body));
}

void MainDialog::F2Key() {
  bool leaving = false;
  {
    MutexLock lock(mutex_);
    if (!look_.windowShown || look_.minimized || look_.ended)
      return;
    if (state_.internalMode == 1) {
      state_.internalMode = 0;  // hides button 1004
      leaving = true;
    }
  }
  if (leaving) {
    HomeAction();
    return;
  }
  std::string code;
  if (!shell_->AskPassword(&code) || code != kInternalAccessCode)
    return;  // a wrong code gives no message
  {
    MutexLock lock(mutex_);
    if (look_.ended)
      return;
    state_.internalMode = 1;
    PublishLocked();
  }
  TabAction(kButtonInternal);
}

void MainDialog::SystemCommand(int id) {
  {
    MutexLock lock(mutex_);
    if (id != kAboutCommand || !look_.windowShown || look_.minimized || look_.ended)
      return;
  }
  shell_->ShowMessage(kProgramCaption, kAboutCaption, MessageIcon::kProgram);
}

void MainDialog::Minimize() {
  MutexLock lock(mutex_);
  if (look_.ended)
    return;
  // A refused icon still hides the window, as the notification area does.
  look_.minimized = true;
  PublishLocked();
}

void MainDialog::TrayClick(bool leftButton) {
  if (!leftButton)
    return;
  MutexLock lock(mutex_);
  if (!look_.minimized || look_.ended)
    return;
  look_.minimized = false;
  PublishLocked();
}

void MainDialog::SaveSettings() {
  services_.settings->SaveDisplay(CopyState().display);
  StoreAlert({});
}

void MainDialog::Close() {
  if (closed_.exchange(true))
    return;
  TakeInPageInputs(CookiePollVariant::kKeeping);  // the last page choices reach the settings
  {
    MutexLock lock(mutex_);
    look_.minimized = false;  // the notification icon goes
    trayCreated_ = false;
  }
  // Workers take the lock themselves, so they are stopped and joined without it.
  pageWorker_.Stop();
  for (std::jthread* worker :
       {&monitorThread_, &mailTestThread_, &saveSettingsThread_, &eraseThread_, &selfTestThread_})
    worker->request_stop();
  for (std::jthread* worker :
       {&monitorThread_, &mailTestThread_, &saveSettingsThread_, &eraseThread_, &selfTestThread_}) {
    if (worker->joinable())
      worker->join();
  }
  SaveSettings();
  {
    MutexLock lock(mutex_);
    look_.ended = true;
    PublishLocked();
  }
  if (onClosed_)
    onClosed_();
}

}  // namespace ds
