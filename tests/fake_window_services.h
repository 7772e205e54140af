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

#include "app/drive_access.h"
#include "app/main_dialog.h"
#include "app/page_building.h"
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
class FakeDriveAccess : public DriveAccess {
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
  bool ReadDrive(const DriveRecord& drive, const AttributeTable&, SmartSnapshot* snapshot,
                 const MessageSink&) override {
    std::this_thread::sleep_for(readDelay);
    ++reads;
    snapshot->attr167Raw = 100 + static_cast<std::uint64_t>(drive.driveNumber);
    snapshot->modelSeries = 0;
    return true;
  }
  bool Asleep(const DriveRecord&) override { return false; }
  void AddDrive(const std::string& model, int number = 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    DriveRecord& drive = drives.emplace_back();
    drive.model = model, drive.serial = "SN" + std::to_string(number);
    drive.driveNumber = number, drive.busType = kBusTypeSata;
  }

  std::vector<DriveRecord> drives;
  std::chrono::milliseconds readDelay{0};
  std::atomic<int> reads{0};

 private:
  std::mutex mutex_;
};

// Page builders for window tests: each build writes "<page>.html" and records the state it saw.
class FakePages : public PageBuilding {
 public:
  explicit FakePages(std::string home) : home_(std::move(home)) {}
  std::optional<std::string> Build(int page, WindowState& state, const MessageSink&,
                                   std::string* message) override {
    if (onBuild)
      onBuild(page, state);
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

 private:
  std::string home_;
  std::mutex mutex_;
};

// A dialog over fakes in a temporary home folder.
struct FakeWindow {
  explicit FakeWindow(const std::string& home, WindowShell* shell) : pages(home), settings(home) {
    std::filesystem::create_directories(home + "data");
    dialog = std::make_unique<MainDialog>(ProgramRoots(home), shell,
                                          WindowServices{&drives, &pages, &settings, {}, &cookies});
  }
  FakeDriveAccess drives;
  FakePages pages;
  SettingsStore settings;
  CookieJar cookies;
  std::unique_ptr<MainDialog> dialog;
};

}  // namespace ds
