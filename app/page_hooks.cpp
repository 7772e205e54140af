#include "app/page_hooks.h"

#include <cstdio>
#include <functional>
#include <optional>

#include "app/drive_hooks.h"
#include "pages/disk_info_page.h"
#include "pages/drive_temperature.h"
#include "pages/smart_page.h"
#include "pages/system_page.h"

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

}  // namespace

void WirePageBuilders(MainDialog& dialog, const StartupPlatform& platform, DiskSystem& disks,
                      Registry& registry, const SystemInfo& systemInfo) {
  Refresh refresh = platform.refreshDriveList;
  DiskSystem* machine = &disks;
  const Registry* values = &registry;
  auto& builders = dialog.hooks.builders;
  builders[kPageDiskInfo] = [refresh, machine](MainDialog& d) {
    return BuildDiskInfo(d, refresh, *machine);
  };
  builders[kPageSmart] = [refresh](MainDialog& d) { return BuildSmart(d, refresh); };
  builders[kPageSystem] = [refresh, values, systemInfo](MainDialog& d) {
    return BuildSystem(d, refresh, *values, systemInfo);
  };
}

}  // namespace ds
