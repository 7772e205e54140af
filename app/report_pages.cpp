#include "app/report_pages.h"

#include <functional>

#include "pages/disk_info_page.h"
#include "pages/drive_temperature.h"
#include "pages/health_export.h"
#include "pages/health_page.h"
#include "pages/internal_page.h"
#include "pages/smart_page.h"
#include "pages/system_page.h"
#include "pages/tool_page.h"
#include "store/history_folder.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

template <typename Rows>
constexpr bool InIdOrder(const Rows& rows) {
  for (int i = 0; i < kPageCount; ++i) {
    if (rows[static_cast<std::size_t>(i)].page != i)
      return false;
  }
  return true;
}

std::optional<std::string> BiosValue(const Registry& registry, const char* name) {
  std::string value;
  if (!registry.QueryString(kBiosKey, name, &value))
    return std::nullopt;
  return value;
}

}  // namespace

constexpr ReportPages::BuilderRow ReportPages::kBuilders[kPageCount] = {
    {kPageHome, nullptr},
    {kPageInternal, &ReportPages::BuildInternal},
    {kPageDiskInfo, &ReportPages::BuildDiskInfo},
    {kPageHealth, &ReportPages::BuildHealth},
    {kPageSmart, &ReportPages::BuildSmart},
    {kPageTool, &ReportPages::BuildTool},
    {kPageSystem, &ReportPages::BuildSystem},
};

ReportPages::ReportPages(ProgramRoots roots, DriveAccess& drives, DiskSystem& disks,
                         Registry& registry, SettingsStore& settings, SystemInfo systemInfo,
                         LocalDateSource today)
    : roots_(std::move(roots)),
      drives_(drives),
      disks_(disks),
      registry_(registry),
      settings_(settings),
      systemInfo_(std::move(systemInfo)),
      today_(std::move(today)) {}

std::optional<std::string> ReportPages::Build(int page, WindowState& state,
                                              const MessageSink& shown, std::string* message) {
  // Every page but Health starts from a fresh drive list.
  if (page != kPageHealth)
    state.SetDriveList(drives_.RefreshDriveList(shown));
  if (!HasBuilder(page)) {
    SetMessage(message, "page " + std::to_string(page) + " has no builder");
    return std::nullopt;
  }
  const Builder build = kBuilders[static_cast<std::size_t>(page)].build;
  return std::invoke(build, *this, state, message);
}

bool ReportPages::HasBuilder(int page) {
  static_assert(InIdOrder(kBuilders), "the builder table has one row per page, in id order");
  return page >= 0 && page < kPageCount && kBuilders[static_cast<std::size_t>(page)].build;
}

std::optional<std::string> ReportPages::BuildDiskInfo(WindowState& state, std::string* message) {
  DiskInfoInput input;
  input.drives = state.drives;
  input.selectedDisk = state.display.selectedDisk;
  const std::vector<VolumeFacts> volumes = disks_.ListVolumes();
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
  input.temperature = [this](int driveNumber, int* celsius) {
    int valid = 0;
    return ReadDriveTemperature(disks_, driveNumber, celsius, &valid) && valid == 1;
  };
  return BuildDiskInfoPage(roots_, input, message);
}

std::optional<std::string> ReportPages::BuildHealth(WindowState& state, std::string* message) {
  HealthPageInput input;
  input.driveCount = state.driveCount;
  if (const DriveRecord* drive = state.SelectedDrive()) {
    input.model = drive->model;
    input.serial = drive->serial;
  }
  input.powerOnHours = state.smart.powerOnHours;
  input.powerCycles = state.smart.powerCycles;
  input.attr167Raw = state.smart.attr167Raw;
  input.modelSeries = state.smart.modelSeries;
  input.peCycleLimit = state.smart.peCycleLimit;
  input.active_rec = state.display.active_rec;
  input.health_display_type = state.display.health_display_type;
  input.today = today_();
  return BuildHealthPage(roots_, input, &state.historyStart, message);
}

std::optional<std::string> ReportPages::BuildSmart(WindowState& state, std::string* message) {
  SmartPageInput input;
  input.driveCount = state.driveCount;
  input.attributes = state.smart.attributes;
  input.identify.identifyDesc = state.identifyDesc;
  if (const DriveRecord* drive = state.SelectedDrive()) {
    input.identify.identifyWords = drive->identifyWords;
    input.identify.model = drive->model;
    input.identify.serial = drive->serial;
    input.identify.firmware = drive->firmware;
  }
  return BuildSmartPage(roots_, input, message);
}

std::optional<std::string> ReportPages::BuildSystem(WindowState& state, std::string* message) {
  SystemPageInput input;
  input.info = systemInfo_;
  input.sataDriverDesc = state.sataDriverDesc;
  input.sataDriverVersion = state.sataDriverVersion;
  input.bios.baseBoardManufacturer = BiosValue(registry_, "BaseBoardManufacturer");
  input.bios.baseBoardProduct = BiosValue(registry_, "BaseBoardProduct");
  input.bios.baseBoardVersion = BiosValue(registry_, "BaseBoardVersion");
  input.bios.biosVendor = BiosValue(registry_, "BIOSVendor");
  input.bios.biosVersion = BiosValue(registry_, "BIOSVersion");
  input.bios.biosReleaseDate = BiosValue(registry_, "BIOSReleaseDate");
  for (const DriveRecord& drive : state.drives)
    input.disks.push_back({drive.model, drive.serial});
  return BuildSystemPage(roots_, input, message);
}

std::optional<std::string> ReportPages::BuildTool(WindowState& state, std::string* message) {
  settings_.LoadAlert(&state.alert);
  ToolPageInput input;
  input.driveCount = state.driveCount;
  input.toolEditMode = state.toolEditMode;
  input.eraseRunning = state.eraseRunning;
  input.eraseProgress = state.eraseProgress;
  input.settings = state.toolEditMode != 0 ? state.toolForm : state.alert;
  return BuildToolPage(roots_, input, message);
}

std::optional<std::string> ReportPages::BuildInternal(WindowState& state, std::string* message) {
  InternalPageInput input;
  input.driveCount = state.driveCount;
  if (const DriveRecord* drive = state.SelectedDrive()) {
    input.sectorCount = drive->sectorCount;
    input.vendor.driveNumber = drive->driveNumber;
    input.vendor.model = drive->model;
    input.vendor.behindUsbBridge = drive->busType == kBusTypeUsb;
  }
  input.attr167Raw = state.smart.attr167Raw;
  input.reallocatedRaw = state.smart.reallocatedRaw;
  input.attr161Raw = state.smart.attr161Raw;
  input.attr163Raw = state.smart.attr163Raw;
  input.modelSeries = state.smart.modelSeries;
  input.peCycleLimit = state.smart.peCycleLimit;
  input.opener = &disks_;
  input.vendor.smartSignature = state.smart.smartSignature;
  input.vendor.isOtherSm = state.smart.isOtherSm;
  input.vendor.baseBoardProduct = state.baseBoardProduct;
  return BuildInternalPage(roots_, input, &state.vendorFigure, message);
}

bool ReportPages::ExportHealth(const WindowState& state, const std::string& path,
                               std::string* message) {
  const DriveRecord* drive = state.SelectedDrive();
  if (drive == nullptr) {
    SetMessage(message, "no disk is selected");
    return false;
  }
  return ExportHealthWorkbook(HistoryFolder(roots_.home, drive->model, drive->serial),
                              state.historyStart, today_(), state.smart.peCycleLimit, path,
                              message);
}

}  // namespace ds
