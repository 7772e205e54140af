#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "app/click_map.h"
#include "app/page_building.h"
#include "app/page_worker.h"
#include "app/window_state.h"
#include "drive/drive_service.h"
#include "drive/message_sink.h"
#include "drive/secure_erase.h"
#include "monitor/cookie_poll.h"
#include "monitor/mail_channel.h"
#include "monitor/monitor_window.h"
#include "platform/mutex.h"
#include "platform/program_roots.h"
#include "store/settings_store.h"
#include "web/cookie_jar.h"
#include "web/window_look.h"
#include "web/window_shell.h"

// The one window of the program and the owner of all its state: the page shown, the
// selected disk, the settings, the ini values, the worker threads and the window's look.
// Its actions run on the UI thread. The state lives behind one lock that is held only to
// copy or to change it, never across a disk command, a sleep, a file poll or a dialog: a
// tab action shows the loading page at once and hands the disk reads and the page build to
// the page worker, which builds on a copy and shows the page only if the window still
// shows what it was built for.
namespace ds {

// The access code of the internal mode.
inline constexpr const char* kInternalAccessCode = "Talvex";
inline constexpr const char* kProgramCaption = "Norvik DriveSentinel";
// The About entry of the window's system menu (the shell draws the menu) and its box.
inline constexpr int kAboutCommand = 16;
inline constexpr const char* kAboutCaption = "About Norvik DriveSentinel";

// What the window works with besides its shell. Everything outlives the dialog.
struct WindowServices {
  DriveService* drives = nullptr;  // the erase; page reads go through `pages`
  PageBuilding* pages = nullptr;
  SettingsStore* settings = nullptr;
  MessageSink log;               // one line per problem, for the log (standard error)
  CookieJar* cookies = nullptr;  // the page inputs; null: the pages store none
  MailChannel* mail = nullptr;   // the mail test; null: no mailer
  LocalDateSource today = LocalToday;
  // How often the S.M.A.R.T. page is read again while it shows a running self-test.
  std::chrono::milliseconds selfTestRefresh{std::chrono::seconds(30)};
};

// What start-up hands the window once it has read everything: the whole first state, the
// settings problems to tell at the user's first click, and the frame behind the Home
// picture ("" for none).
struct StartState {
  WindowState state;
  std::vector<std::string> problems;
  std::string frame;
};

class MainDialog : public MonitorWindow {
 public:
  MainDialog(ProgramRoots roots, WindowShell* shell, WindowServices services);
  ~MainDialog() override;
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // ---- actions: run on the UI thread ----
  // A press of button 1000-1010; ids outside that range and hidden buttons do nothing.
  void ButtonCommand(int buttonId) EXCLUDES(mutex_);
  // A left button press at window position x, y: the click map of the current page. `at` is
  // the browser's time of the press (ms since 1970, 0 unknown; see ShellInput::at).
  void LeftButtonDown(int x, int y, std::uint64_t at = 0) EXCLUDES(mutex_);
  // F2: leaves internal mode, or asks for the access code and enters it.
  void F2Key() EXCLUDES(mutex_);
  // A command of the window's system menu: About (kAboutCommand) opens the About box; the
  // menu's other entries are the Minimize and Close buttons, so other ids do nothing.
  void SystemCommand(int id) EXCLUDES(mutex_);
  // Hides the window into the notification area (also the monitor's logon-start call).
  void Minimize() EXCLUDES(mutex_) override;
  // A click on the notification icon; only the left button restores the window.
  void TrayClick(bool leftButton) EXCLUDES(mutex_);
  // Destroys the window: workers stopped, settings flushed, the window ended.
  void Close() EXCLUDES(mutex_);
  bool closed() const { return closed_.load(); }
  // Runs after Close has finished (the application ends its loop there).
  void setOnClosed(std::function<void()> onClosed) { onClosed_ = std::move(onClosed); }

  // ---- start-up (UI thread, in this order) ----
  // Takes the first state whole; the problems are logged now and shown at the first click.
  void Start(StartState start) EXCLUDES(mutex_);
  // Starts the monitor thread (kept until Close, which stops it first).
  void StartMonitor(std::function<void(std::stop_token)> body);
  // Shows the window with the Home picture; the notification icon object exists from now.
  void ShowWindow() EXCLUDES(mutex_);
  // Start-up ended the program early: the shell learns the window is gone.
  void EndWithoutWindow() EXCLUDES(mutex_);

  // ---- what the monitor needs (MonitorWindow) ----
  void ReloadAlertSettings() EXCLUDES(mutex_) override;
  // Takes in the page inputs from the cookie store (the Tool page's values into its form,
  // never into the stored alert settings), saves both settings files and reloads the
  // selected drive's history start record. Polls never run at the same time.
  void TakeInPageInputs() EXCLUDES(mutex_) override;
  MonitorView View() EXCLUDES(mutex_) override;
  void PublishReading(const DriveRecord& drive, const SmartSnapshot& snapshot)
      EXCLUDES(mutex_) override;

  // A copy of the whole state.
  WindowState CopyState() const EXCLUDES(mutex_);

 private:
  friend class MainDialogTestAccess;  // tests set up states no action reaches quickly

  void HomeAction() EXCLUDES(mutex_);
  // Tabs 1005-1009 and the internal-page button 1004.
  void TabAction(int buttonId) EXCLUDES(mutex_);
  CookiePollResult TakeInPageInputs(CookiePollVariant variant) EXCLUDES(mutex_);
  // Changes the state under the lock. `change` must not send disk commands, sleep, touch
  // files or open dialogs.
  void Update(const std::function<void(WindowState&)>& change) EXCLUDES(mutex_);
  // Shows the data-folder file `dataFile` in the browser.
  void Navigate(const std::string& dataFile) EXCLUDES(mutex_);
  // Hands a page build to the page worker; it belongs to the window's current view (a tab
  // action, or a click that refreshes the page shown). `userStarted`: the user's own action
  // asked for it, so the texts of its failed disk reads are shown in one message box once
  // the page stands; builds of workers only log them.
  void RequestPage(int page, unsigned steps, bool userStarted) EXCLUDES(mutex_);
  void BuildPage(int page, unsigned steps, std::uint64_t view, bool userStarted) EXCLUDES(mutex_);
  void RunClickAction(ClickAction action, std::uint64_t at) EXCLUDES(mutex_);
  void ExportDataFile(const std::string& file, const std::string& missingMessage) EXCLUDES(mutex_);
  void ExportHealth() EXCLUDES(mutex_);
  void StartSecureErase() EXCLUDES(mutex_);
  // The self-test buttons (main_dialog_selftest.cpp): asks before an extended test, then
  // sends the command on a worker, which shows the outcome and, while the test runs, reads
  // the S.M.A.R.T. page again every selfTestRefresh.
  void StartSelfTest(SelfTestKind kind) EXCLUDES(mutex_);
  void SelfTestThread(std::stop_token stop, int driveNumber, const std::string& serial,
                      SelfTestKind kind) EXCLUDES(mutex_);
  // A page build found a test running on the shown disk (started here, by the command line or
  // the schedule): it is followed unless a self-test worker is at work already.
  void FollowSelfTest(const DriveRecord& drive) EXCLUDES(mutex_);
  void WatchSelfTest(std::stop_token stop, int driveNumber, const std::string& serial)
      EXCLUDES(mutex_);
  // Whether the window shows the S.M.A.R.T. page of that disk; `running`: what its last read
  // says of the test.
  bool ShowsSelfTestOf(int driveNumber, const std::string& serial, bool* running) EXCLUDES(mutex_);
  // Starts `body` as the self-test worker, stopping the one there first; with `onlyWhenIdle`
  // nothing is started while that one is still at work.
  void StartSelfTestWorker(std::function<void(std::stop_token)> body, bool onlyWhenIdle);
  void OpenLicenceText() EXCLUDES(mutex_);
  void SaveSettings() EXCLUDES(mutex_);
  // Applies `change` (may be empty) to the state and saves the stored alert settings it
  // leaves; one store or reload of them at a time. A failed save is logged.
  void StoreAlert(const std::function<void(WindowState&)>& change) EXCLUDES(mutex_);
  // The message for a form field the page could not hand over, or nothing.
  static std::optional<std::string> RefusedPageInput(const CookiePollResult& poll);
  void SetTabSelectionLocked(int buttonId) REQUIRES(mutex_);
  void PublishLocked() REQUIRES(mutex_);
  void NavigateLocked(const std::string& dataFile) REQUIRES(mutex_);
  void ShowPendingProblems() EXCLUDES(mutex_);
  bool DataFileExists(const std::string& name) const;
  // Starts `body` as a worker kept in `slot`; a previous worker there is stopped first.
  void StartWorker(std::jthread& slot, std::function<void(std::stop_token)> body);

  // The workers of the Tool page; empty entry points until their features arrive.
  void SaveSettingsCheck(std::stop_token stop);
  void MailFieldCheck(std::stop_token stop);
  void SecureEraseThread(std::stop_token stop, EraseTarget target);
  // Waits (bounded) for the inputs the page stores on the click made at `clickTime` (the
  // page stamps them); without a time, for any cookies newer than the click's arrival.
  // False when none came.
  [[nodiscard]] bool WaitForPageInputs(std::uint64_t clickTime, std::uint64_t generationAtClick);

  const ProgramRoots roots_;
  WindowShell* const shell_;
  const WindowServices services_;

  mutable Mutex mutex_;
  WindowState state_ GUARDED_BY(mutex_);
  WindowLook look_ GUARDED_BY(mutex_);
  bool trayCreated_ GUARDED_BY(mutex_) = false;
  // Grows with every action that changes what the window shows (tab, Home, F2): a page
  // build that finishes under an older value is not shown.
  std::uint64_t view_ GUARDED_BY(mutex_) = 0;
  std::vector<std::string> unshownProblems_ GUARDED_BY(mutex_);

  std::mutex pollMutex_;   // one page-input poll at a time (they share their copy files)
  std::mutex storeMutex_;  // one store or reload of the stored alert settings at a time
  std::atomic<std::uint64_t> cookiesAtClick_{0};
  std::atomic<std::uint64_t> clickTime_{0};
  std::atomic<bool> closed_{false};
  std::function<void()> onClosed_;
  std::jthread monitorThread_;
  std::jthread mailTestThread_;
  std::jthread saveSettingsThread_;
  std::jthread eraseThread_;
  std::atomic<std::uint64_t> smartReads_{0};  // S.M.A.R.T. page reads taken into the state
  std::mutex selfTestSlot_;  // the UI thread and the page worker both start self-test workers
  std::atomic<bool> selfTestDone_{true};
  std::jthread selfTestThread_;
  PageWorker pageWorker_;  // last: its thread stops first
};

// The page a tab or button 1004 opens; -1 for other ids.
int PageOfTab(int buttonId);

}  // namespace ds
