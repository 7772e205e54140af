#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/main_dialog.h"
#include "app/page_building.h"
#include "drive/drive_service.h"
#include "pages/page_registry.h"
#include "store/settings_store.h"
#include "web/cookie_jar.h"

namespace ds {

// Polls `condition` every 10 ms for up to 10 s; false when it never held.
inline bool WaitUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 1000 && !condition(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return condition();
}

// Disks for window tests: kept drives whose reads take `readDelay` and count themselves.
class FakeDriveAccess : public DriveService {
 public:
  DriveList RefreshDriveList(const MessageSink&) override {
    std::lock_guard<std::mutex> lock(mutex_);
    DriveList list;
    list.drives = drives;
    list.driveCount = list.enumeratedCount = static_cast<int>(drives.size());
    for (const DriveRecord& drive : drives)
      list.driveIndexMap.push_back(drive.driveNumber);
    return list;
  }
  DiskRead Read(const DriveRecord& drive, const AttributeTable&, SmartSnapshot* snapshot, WakeDisk,
                const MessageSink&) override {
    std::this_thread::sleep_for(readDelay);
    ++reads;
    snapshot->attr167Raw = 100 + static_cast<std::uint64_t>(drive.driveNumber);
    snapshot->modelSeries = 0;
    snapshot->selfTestCapability = {true, 2, 30};
    snapshot->selfTestExecution = DecodeSelfTestExecution(selfTestStatus);
    return DiskRead::kRead;
  }
  // Records the LBA low the command would carry and answers with `selfTestOutcome`; a test
  // started runs, an aborted one ends, as byte 363 says.
  SelfTestOutcome SelfTest(int, const std::string&, SelfTestKind kind) override {
    std::lock_guard<std::mutex> lock(mutex_);
    selfTestsSent_.push_back(*OfflineSubcommand(kind));
    if (selfTestOutcome.result == SelfTestResult::kStarted)
      selfTestStatus = kind == SelfTestKind::kAbort ? 0x10 : 0xF9;
    return selfTestOutcome;
  }
  std::vector<int> SelfTestsSent() {
    std::lock_guard<std::mutex> lock(mutex_);
    return selfTestsSent_;
  }
  void AddDrive(const std::string& model, int number = 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    DriveRecord& drive = drives.emplace_back();
    drive.model = model, drive.serial = "SN" + std::to_string(number);
    drive.driveNumber = number, drive.busType = kBusTypeSata;
  }

  std::vector<DriveRecord> drives;
  std::chrono::milliseconds readDelay{0};
  std::atomic<int> reads{0};
  std::atomic<std::uint8_t> selfTestStatus{0};  // SMART data byte 363 of every read
  SelfTestOutcome selfTestOutcome{SelfTestResult::kStarted, 2, "Started."};

 private:
  std::mutex mutex_;
  std::vector<int> selfTestsSent_;
};

// Page builders for window tests: each build writes "<page>.html" and records the state it saw.
class FakePages : public PageBuilding {
 public:
  explicit FakePages(std::string home, DriveService* drives = nullptr)
      : drives(drives), home_(std::move(home)) {}
  std::optional<std::string> Build(int page, unsigned steps, WindowState& state,
                                   const MessageSink& shown, std::string* message) override {
    if (onBuild)
      onBuild(page, state);
    // The reading steps of a page, as the real builder takes them: the selected disk's read.
    if (drives != nullptr && (steps & kStepReadDrive) && state.SelectedDrive() != nullptr &&
        drives->Read(*state.SelectedDrive(), {}, &state.smart, WakeDisk::kYes, shown) ==
            DiskRead::kRead) {
      state.modelSeries = state.smart.modelSeries;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (state.driveCount == 0 && page != kPageSystem) {
      *message = "no ATA or SATA disk to show";
      return std::nullopt;
    }
    seen.push_back(state);
    std::ofstream(home_ + "data/" + std::to_string(page) + ".html") << "<html></html>";
    return std::to_string(page) + ".html";
  }
  bool ExportHealth(const WindowState&, const std::string& path, std::string*) override {
    std::ofstream(path) << "xls";
    return true;
  }
  std::size_t Builds() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen.size();
  }

  std::vector<WindowState> seen;
  std::function<void(int page, WindowState&)> onBuild;  // runs first, on the page worker
  DriveService* drives = nullptr;                       // reads the selected disk when set

 private:
  std::string home_;
  std::mutex mutex_;
};

// Sets up window states no action reaches quickly (an erase under way, a series).
class MainDialogTestAccess {
 public:
  static void Change(MainDialog& dialog, const std::function<void(WindowState&)>& change) {
    dialog.Update(change);
  }
  // A fresh drive list from the dialog's drive service, published whole.
  static void RefreshDrives(MainDialog& dialog) {
    DriveList list = dialog.services_.drives->RefreshDriveList({});
    dialog.Update([&list](WindowState& s) { s.SetDriveList(std::move(list)); });
  }
  static void TabAction(MainDialog& dialog, int buttonId) { dialog.TabAction(buttonId); }
};

// A dialog over fakes in a temporary home folder.
struct FakeWindow {
  explicit FakeWindow(const std::string& home, WindowShell* shell) : pages(home), settings(home) {
    std::filesystem::create_directories(home + "data");
    pages.drives = &drives;
    dialog = std::make_unique<MainDialog>(ProgramRoots(home), shell, services());
  }
  WindowServices services() {
    WindowServices services{&drives, &pages, &settings, {}, &cookies};
    services.selfTestRefresh = std::chrono::milliseconds(20);
    return services;
  }
  FakeDriveAccess drives;
  FakePages pages;
  SettingsStore settings;
  CookieJar cookies;
  std::unique_ptr<MainDialog> dialog;
};

}  // namespace ds
