#include "app/drive_hooks.h"

#include <cstdio>
#include <string_view>

#include "drive/drive_enumerator.h"
#include "drive/model_series.h"
#include "drive/read_drive.h"

namespace ds {
namespace {

// Messages of the disk layer arrive while the window's lock is held, where a modal box
// would stop every other thread; they go to the log instead.
void LogDiskMessage(std::string_view text) {
  std::fprintf(stderr, "drivesentinel: %.*s\n", static_cast<int>(text.size()), text.data());
}

std::string SelectedModel(const MainDialog& dialog) {
  const DriveRecord* drive = SelectedDrive(dialog);
  return drive ? drive->model : std::string();
}

}  // namespace

const DriveRecord* SelectedDrive(const MainDialog& dialog) {
  int selected = dialog.display.selectedDisk;
  if (selected < 0 || selected >= dialog.driveCount ||
      static_cast<std::size_t>(selected) >= dialog.drives.size()) {
    return nullptr;
  }
  return &dialog.drives[static_cast<std::size_t>(selected)];
}

void WireDriveHooks(MainDialog& dialog, StartupPlatform& platform, DiskSystem& disks) {
  std::string home = dialog.home();
  DiskSystem* machine = &disks;

  auto detectSeries = [](MainDialog& d) { d.modelSeries = DetectModelSeries(SelectedModel(d)); };
  auto loadSmartDescriptions = [home](MainDialog& d) {
    LoadAttributeTable(d.attributeTable, home, d.modelSeries);
  };

  platform.refreshDriveList = [machine](MainDialog& d) {
    DriveList list = RefreshDriveList(*machine, LogDiskMessage);
    d.driveCount = list.driveCount;
    d.enumeratedCount = list.enumeratedCount;
    d.driveIndexMap = std::move(list.driveIndexMap);
    d.drives = std::move(list.drives);
    // The ini value is the starting erase-cycle limit until a disk reports its own.
    d.smart.peCycleLimit = d.peCycleLimit;
  };
  platform.detectModelSeries = detectSeries;
  platform.loadSmartDescriptions = loadSmartDescriptions;

  dialog.hooks.detectModelSeries = detectSeries;
  dialog.hooks.loadSmartDescriptions = loadSmartDescriptions;
  dialog.hooks.loadIdentifyDescriptions = [home](MainDialog& d) {
    LoadIdentifyTable(d.identifyDesc, home);
  };
  dialog.hooks.isMakersDisk = [](const MainDialog& d) {
    return IsMakersDisk(SelectedModel(d), d.internalMode);
  };
  dialog.hooks.selectedFileSystems = [](const MainDialog& d) {
    const DriveRecord* drive = SelectedDrive(d);
    return drive ? drive->fileSystems : std::string();
  };
  dialog.hooks.readSelectedDrive = [machine](MainDialog& d) {
    const DriveRecord* drive = SelectedDrive(d);
    if (drive == nullptr)
      return;
    ReadDriveContext context;
    context.opener = machine;
    context.attributeTable = &d.attributeTable;
    context.selectedModel = drive->model;
    context.baseBoardProduct = d.baseBoardProduct;
    context.showMessage = LogDiskMessage;
    // The window's lock is held for the whole tab action, the disk I/O included.
    ReadDrive(context, d.driveIndexMap[static_cast<std::size_t>(d.display.selectedDisk)], &d.smart);
    d.modelSeries = d.smart.modelSeries;
  };
}

}  // namespace ds
