#include "app/page_hooks.h"

#include <cstdio>
#include <functional>
#include <optional>

#include "app/drive_hooks.h"
#include "drive/model_series.h"
#include "drive/read_drive.h"
#include "pages/disk_info_page.h"
#include "pages/drive_temperature.h"
#include "pages/health_export.h"
#include "pages/health_page.h"
#include "pages/smart_page.h"
#include "pages/system_page.h"
#include "store/history_folder.h"
#include "store/history_records.h"

namespace ds {
namespace {

using Refresh = std::function<void(MainDialog&)>;

void LogPageProblem(const char* page, const std::string& message) {
  if (!message.empty())
    std::fprintf(stderr, "drivesentinel: %s: %s\n", page, message.c_str());
}

std::optional<std::string> BiosValue(const Registry& registry, const char* name) {
  std::string value;
  if (!registry.QueryString(kBiosKey, name, &value))
    return std::nullopt;
  return value;
}

std::string BuildDiskInfo(MainDialog& d, const Refresh& refresh, DiskSystem& disks) {
  if (refresh)
    refresh(d);
  DiskInfoInput input;
  input.drives = d.drives;
  input.selectedDisk = d.display.selectedDisk;
  const std::vector<VolumeFacts> volumes = disks.ListVolumes();
  input.volumeSpace = [&volumes](const std::string& mountPoint, std::uint64_t* freeBytes,
                                 std::uint64_t* totalBytes) {
    for (const VolumeFacts& volume : volumes) {
      if (volume.mountPoint != mountPoint)
        continue;
      *freeBytes = volume.freeBytes;
      *totalBytes = volume.totalBytes;
      return volume.totalBytes != 0;
    }
    return false;
  };
  input.temperature = [&disks](int driveNumber, int* celsius) {
    int valid = 0;
    return ReadDriveTemperature(disks, driveNumber, celsius, &valid) && valid == 1;
  };
  std::string message;
  std::string page = BuildDiskInfoPage(d.home(), input, &message);
  LogPageProblem("Disk Information", message);
  return page;
}

std::string BuildSmart(MainDialog& d, const Refresh& refresh) {
  if (refresh)
    refresh(d);
  SmartPageInput input;
  input.driveCount = d.driveCount;
  input.attributes = d.smart.attributes;
  input.identify.identifyDesc = d.identifyDesc;
  if (const DriveRecord* drive = SelectedDrive(d)) {
    input.identify.identifyWords = drive->identifyWords;
    input.identify.model = drive->model;
    input.identify.serial = drive->serial;
    input.identify.firmware = drive->firmware;
  }
  std::string message;
  std::string page = BuildSmartPage(d.home(), input, &message);
  LogPageProblem("S.M.A.R.T.", message);
  return page;
}

std::string BuildHealth(MainDialog& d, const LocalDateSource& today) {
  HealthPageInput input;
  input.driveCount = d.driveCount;
  if (const DriveRecord* drive = SelectedDrive(d)) {
    input.model = drive->model;
    input.serial = drive->serial;
  }
  input.powerOnHours = d.smart.powerOnHours;
  input.powerCycles = d.smart.powerCycles;
  input.attr167Raw = d.smart.attr167Raw;
  input.modelSeries = d.smart.modelSeries;
  input.peCycleLimit = d.smart.peCycleLimit;
  input.active_rec = d.display.active_rec;
  input.health_display_type = d.display.health_display_type;
  input.today = today();
  std::string message;
  std::string page = BuildHealthPage(d.home(), input, &d.historyStart, &message);
  LogPageProblem("Health Status", message);
  return page;
}

bool ExportHealth(MainDialog& d, const std::string& path, const LocalDateSource& today) {
  const DriveRecord* drive = SelectedDrive(d);
  if (drive == nullptr)
    return false;
  std::string message;
  bool written =
      ExportHealthWorkbook(HistoryFolder(d.home(), drive->model, drive->serial), d.historyStart,
                           today(), d.smart.peCycleLimit, path, &message);
  LogPageProblem("Health export", message);
  return written;
}

std::string BuildSystem(MainDialog& d, const Refresh& refresh, const Registry& registry,
                        const SystemInfo& info) {
  if (refresh)
    refresh(d);
  SystemPageInput input;
  input.info = info;
  input.sataDriverDesc = d.sataDriverDesc;
  input.sataDriverVersion = d.sataDriverVersion;
  input.bios.baseBoardManufacturer = BiosValue(registry, "BaseBoardManufacturer");
  input.bios.baseBoardProduct = BiosValue(registry, "BaseBoardProduct");
  input.bios.baseBoardVersion = BiosValue(registry, "BaseBoardVersion");
  input.bios.biosVendor = BiosValue(registry, "BIOSVendor");
  input.bios.biosVersion = BiosValue(registry, "BIOSVersion");
  input.bios.biosReleaseDate = BiosValue(registry, "BIOSReleaseDate");
  for (const DriveRecord& drive : d.drives)
    input.disks.push_back({drive.model, drive.serial});
  std::string message;
  std::string page = BuildSystemPage(d.home(), input, &message);
  LogPageProblem("System Information", message);
  return page;
}

// Gives the sample machine's series-0 drives a year of history, once (never real disks).
void WriteDemoHistories(MainDialog& d, DiskSystem& disks, const LocalDateSource& today) {
  for (std::size_t i = 0; i < d.drives.size() && i < d.driveIndexMap.size(); ++i) {
    const DriveRecord& drive = d.drives[i];
    if (DetectModelSeries(drive.model) != 0)
      continue;
    AttributeTable table;
    LoadAttributeTable(table, d.home(), 0);
    ReadDriveContext context;
    context.opener = &disks;
    context.attributeTable = &table;
    context.selectedModel = drive.model;
    context.showMessage = [](std::string_view) {};
    SmartSnapshot snapshot;
    if (ReadDrive(context, d.driveIndexMap[i], &snapshot) != 1)
      continue;
    WriteDemoHistory(HistoryFolder(d.home(), drive.model, drive.serial), snapshot.attr167Raw,
                     today());
  }
}

}  // namespace

void WireHistoryStart(StartupPlatform& platform, DiskSystem& disks, bool demoMachine,
                      const LocalDateSource& today) {
  DiskSystem* machine = &disks;
  platform.loadHistoryStart = [machine, demoMachine, today](MainDialog& d) {
    if (demoMachine)
      WriteDemoHistories(d, *machine, today);
    const DriveRecord* drive = SelectedDrive(d);
    if (drive == nullptr)
      return;
    // The start record keeps the erase count of its day: read the disk before it is written.
    if (d.smart.attributes.empty() && d.hooks.readSelectedDrive)
      d.hooks.readSelectedDrive(d);
    d.historyStart = LoadHistoryStart(HistoryFolder(d.home(), drive->model, drive->serial),
                                      d.smart.attr167Raw, today());
  };
}

void WirePageBuilders(MainDialog& dialog, const StartupPlatform& platform, DiskSystem& disks,
                      Registry& registry, const SystemInfo& systemInfo,
                      const LocalDateSource& today) {
  Refresh refresh = platform.refreshDriveList;
  DiskSystem* machine = &disks;
  const Registry* values = &registry;
  auto& builders = dialog.hooks.builders;
  builders[kPageDiskInfo] = [refresh, machine](MainDialog& d) {
    return BuildDiskInfo(d, refresh, *machine);
  };
  builders[kPageHealth] = [today](MainDialog& d) { return BuildHealth(d, today); };
  builders[kPageSmart] = [refresh](MainDialog& d) { return BuildSmart(d, refresh); };
  builders[kPageSystem] = [refresh, values, systemInfo](MainDialog& d) {
    return BuildSystem(d, refresh, *values, systemInfo);
  };
  dialog.hooks.exportHealthWorkbook = [today](MainDialog& d, const std::string& path) {
    return ExportHealth(d, path, today);
  };
  dialog.hooks.writeSampleHistory = [today](MainDialog& d) {
    WriteSampleHistory(d.home(), today().year);
  };
}

}  // namespace ds
