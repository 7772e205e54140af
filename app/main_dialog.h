#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "app/click_map.h"
#include "app/window_look.h"
#include "app/window_shell.h"
#include "drive/drive_record.h"
#include "store/description_tables.h"
#include "store/history_records.h"
#include "store/settings.h"

// The one window of the program and the owner of all its state: the page shown, the
// selected disk, the settings, the ini values, the worker threads and the window's look.
// Its actions run on the UI thread; worker threads reach the same fields under `mutex`.
namespace ds {

class MainDialog;

// Writes a page into the data folder and returns its file name relative to the data
// folder ("SystemPage.html"), or "" when no page was written. Called with mutex held.
using PageBuilder = std::function<std::string(MainDialog&)>;

// A worker thread body; it returns soon after `stop` is requested and takes `mutex`
// around every access to the dialog.
using WorkerBody = std::function<void(MainDialog&, std::stop_token stop)>;

// What other parts of the program plug into the window. Every hook may be empty; the
// window then skips that step. Hooks other than the worker bodies run with mutex held.
struct DialogHooks {
  // Takes the page inputs in from the browser cookies (keeping variant) and saves them.
  std::function<void(MainDialog&)> cookiePoll;
  // True when the selected drive is one of the maker's (internal mode passes any drive).
  std::function<bool(const MainDialog&)> isMakersDisk;
  std::function<void(MainDialog&)> detectModelSeries;
  std::function<void(MainDialog&)> loadSmartDescriptions;
  std::function<void(MainDialog&)> loadIdentifyDescriptions;
  std::function<void(MainDialog&)> readSelectedDrive;
  std::function<void(MainDialog&)> saveDisplaySettings;
  std::function<void(MainDialog&)> saveAlertSettings;
  std::function<void(MainDialog&)> writeSampleHistory;
  // Writes the health workbook to `path`; true on success.
  std::function<bool(MainDialog&, const std::string& path)> exportHealthWorkbook;
  // The file systems of the selected drive's volumes ("" when it holds none).
  std::function<std::string(const MainDialog&)> selectedFileSystems;

  WorkerBody saveSettingsCheck;
  WorkerBody mailFieldCheck;
  WorkerBody secureErase;

  // One builder per page id; a page without one shows "empty.html".
  std::array<PageBuilder, kPageCount> builders;
};

// The access code of the internal mode.
inline constexpr const char* kInternalAccessCode = "Talvex";
inline constexpr const char* kProgramCaption = "Norvik DriveSentinel";

class MainDialog {
 public:
  // `home` is the program folder with a trailing "/"; `shell` outlives the dialog.
  MainDialog(std::string home, WindowShell* shell);
  ~MainDialog();
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // ---- actions: run on the UI thread; each takes mutex itself ----
  void HomeAction();
  // Tabs 1005-1009 and the internal-page button 1004.
  void TabAction(int buttonId);
  // A press of button 1000-1010; ids outside that range and hidden buttons do nothing.
  void ButtonCommand(int buttonId);
  // A left button press at window position x, y: the click map of the current page.
  void LeftButtonDown(int x, int y);
  // F2: leaves internal mode, or asks for the access code and enters it.
  void F2Key();
  // Hides the window into the notification area (also the monitor's logon-start call).
  void Minimize();
  // A click on the notification icon; only the left button restores the window.
  void TrayClick(bool leftButton);
  // Destroys the window: last inputs, tray icon, workers stopped, settings flushed.
  void Close();
  bool closed() const { return closed_.load(); }
  // Runs after Close has finished (the application ends its loop there).
  void setOnClosed(std::function<void()> onClosed) { onClosed_ = std::move(onClosed); }

  // ---- helpers for start-up and page builders (mutex held by the caller) ----
  // Shows the data-folder file `dataFile` in the browser.
  void NavigateLocked(const std::string& dataFile);
  // Runs the page's builder, waits for its file and navigates to it.
  void BuildPageLocked(int page);
  // Sends the current look to the shell.
  void PublishLocked();
  // True when home + "data/" + name exists.
  bool DataFileExists(const std::string& name) const;

  const std::string& home() const { return home_; }
  WindowShell& shell() { return *shell_; }

  // Starts `body` as a worker kept in `slot`; a previous worker in the slot is stopped
  // and joined first. Call without mutex held.
  void StartWorker(std::jthread& slot, const WorkerBody& body);

  // ---- state: guarded by mutex ----
  mutable std::mutex mutex;
  DialogHooks hooks;
  WindowLook look;

  int currentPage = kPageHome;
  DisplaySettings display;  // selectedDisk, active_rec, health_display_type
  AlertSettings alert;      // the Tool page fields
  std::atomic<int> settingsReadBusy{0};
  int driveCount = 0;
  int enumeratedCount = 0;
  std::vector<int> driveIndexMap;
  std::vector<DriveRecord> drives;        // the kept (ATA and SATA) disks
  SmartSnapshot smart;                    // the S.M.A.R.T. state of the disk read last
  HistoryStart historyStart;              // start record of the selected disk's history
  AttributeTable attributeTable;          // S.M.A.R.T. attribute descriptions
  std::vector<std::string> identifyDesc;  // IDENTIFY item descriptions
  int modelSeries = 99;
  int internalMode = 0;
  int autostartLaunch = 0;
  int toolEditMode = 0;
  int eraseRunning = 0;
  int eraseProgress = 0;
  int peCycleLimit = 3000;
  int loadingTime = 1;
  std::string eulaFile;
  std::string makerAddress;  // opened by the logo button
  std::string exeFileName;
  std::string sataDriverDesc;
  std::string sataDriverVersion;
  std::string baseBoardProduct;
  int windowX = 0;
  int windowY = 0;
  bool trayCreated = false;  // the notification icon object exists

  std::jthread monitorThread;
  std::jthread mailTestThread;
  std::jthread saveSettingsThread;
  std::jthread eraseThread;

 private:
  void RunClickAction(ClickAction action, std::unique_lock<std::mutex>& lock);
  void ExportDataFile(const std::string& file, const std::string& missingMessage,
                      std::unique_lock<std::mutex>& lock);
  void StartSecureErase(std::unique_lock<std::mutex>& lock);
  void OpenLicenceText();
  void SetTabSelectionLocked(int buttonId);

  std::string home_;
  WindowShell* shell_;
  std::atomic<bool> closed_{false};
  std::function<void()> onClosed_;
};

// The page a tab or button 1004 opens; -1 for other ids.
int PageOfTab(int buttonId);

}  // namespace ds
