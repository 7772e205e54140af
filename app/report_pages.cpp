#include "app/report_pages.h"

#include <algorithm>
#include <functional>
#include <map>

#include "drive/drive_figures.h"
#include "drive/model_series.h"
#include "monitor/disk_watch.h"
#include "pages/disk_info_page.h"
#include "pages/health_export.h"
#include "pages/health_page.h"
#include "pages/home_page.h"
#include "pages/internal_page.h"
#include "pages/smart_page.h"
#include "pages/system_page.h"
#include "pages/tool_page.h"
#include "platform/file_system.h"
#include "store/disk_watch_state.h"
#include "store/history_folder.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

constexpr const char* kUnsupportedPage = "Unsupported.html";

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
    {kPageHome, &ReportPages::BuildHome},         {kPageInternal, &ReportPages::BuildInternal},
    {kPageDiskInfo, &ReportPages::BuildDiskInfo}, {kPageHealth, &ReportPages::BuildHealth},
    {kPageSmart, &ReportPages::BuildSmart},       {kPageTool, &ReportPages::BuildTool},
    {kPageSystem, &ReportPages::BuildSystem},
};

ReportPages::ReportPages(ProgramRoots roots, DriveService& drives, Registry& registry,
                         SettingsStore& settings, SystemInfo systemInfo, LocalDateSource today,
                         MessageSink log)
    : roots_(std::move(roots)),
      drives_(drives),
      registry_(registry),
      settings_(settings),
      systemInfo_(std::move(systemInfo)),
      today_(std::move(today)),
      log_(std::move(log)) {}

void ReportPages::ReadForPage(int page, unsigned steps, WindowState& state,
                              const MessageSink& shown) {
  const DriveRecord* selected = state.SelectedDrive();
  const DriveRecord drive = selected ? *selected : DriveRecord{};
  if (steps & kStepSeries)
    state.modelSeries = DetectModelSeries(drive.model);
  if ((steps & kStepSmartDescriptions) &&
      !LoadAttributeTable(state.attributeTable, roots_.install, state.modelSeries) && log_) {
    log_(kNoAttributeDescriptions);
  }
  if ((steps & kStepReadDrive) && selected != nullptr) {
    const DiskRead read =
        drives_.Read(drive, state.attributeTable, &state.smart, WakeDisk::kYes, shown);
    if (read != DiskRead::kRead && log_) {
      log_("disk " + std::to_string(drive.driveNumber) + " was not read for page " +
           std::to_string(page));
    }
    if (read != DiskRead::kBusy) {
      state.modelSeries = state.smart.modelSeries;
      state.smartOwner = SnapshotOwner::Of(drive);
    }
  }
  if ((steps & kStepIdentifyDescriptions) &&
      !LoadIdentifyTable(state.identifyDesc, roots_.install) && log_) {
    log_("the IDENTIFY descriptions (data/Identify.dat) are missing");
  }
}

std::optional<std::string> ReportPages::Build(int page, unsigned steps, WindowState& state,
                                              const MessageSink& shown, std::string* message) {
  ReadForPage(page, steps, state, shown);
  // Every page but Health and Home starts from a fresh drive list; Home sends no disk command.
  if (page != kPageHealth && page != kPageHome)
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

std::optional<std::string> ReportPages::BuildHome(WindowState& state, std::string* message) {
  // The figures are the monitor's last readings from the state folder: Home reads no disk.
  std::vector<DiskWatchState> states;
  std::vector<std::string> problems;
  static_cast<void>(
      LoadDiskWatchStates(DiskStateFolder(roots_.home), &states, &problems, DamagedState::kLeave));
  HomePageInput input;
  input.fahrenheit = state.alert.TemperatureType == 1;
  for (std::size_t i = 0; i < state.drives.size(); ++i) {
    const DriveRecord& drive = state.drives[i];
    HomeRow row;
    row.listIndex = static_cast<int>(i);
    row.model = drive.model;
    row.serial = drive.serial;
    row.device = drives_.DiskKey(drive.driveNumber);
    const std::string key = DiskStateKey(drive.model, drive.serial);
    const auto known = std::find_if(states.begin(), states.end(), [&key](const auto& known) {
      return DiskStateKey(known.model, known.serial) == key;
    });
    if (known != states.end()) {
      row.temperatureCelsius = known->readings.temperatureCelsius;
      row.healthPercent = known->readings.healthPercent;
      row.lifespanDays = known->readings.lifespanDays;
      row.lastGoodRead = known->readings.lastGoodRead;
      row.alertState = AlertStateText(*known, state.alert);
    } else if (state.alert.EnableAlert == 0) {
      row.alertState = "not watched";
    }  // else not yet seen by the monitor: "---"
    input.rows.push_back(std::move(row));
  }
  return BuildHomePage(roots_, input, message);
}

std::optional<std::string> ReportPages::BuildDiskInfo(WindowState& state, std::string* message) {
  DiskInfoInput input;
  input.drives = state.drives;
  input.selectedDisk = state.display.selectedDisk;
  const std::vector<VolumeFacts> volumes = drives_.Volumes();
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
  // Each disk's temperature from a read of its own into a fresh snapshot: attribute 194 of
  // the data sector, listed or not. A disk that cannot be read or has no 194 shows "---".
  std::map<int, AttributeTable> tables;  // by series, loaded once per build
  input.temperature = [this, &state, &tables](int driveNumber, int* celsius) {
    const DriveRecord* drive = nullptr;
    for (const DriveRecord& record : state.drives) {
      if (record.driveNumber == driveNumber)
        drive = &record;
    }
    if (drive == nullptr)
      return false;
    const int series = DetectModelSeries(drive->model);
    if (!tables.contains(series)) {
      // Without the description file nothing is listed; the temperature needs no listing.
      static_cast<void>(LoadAttributeTable(tables[series], roots_.install, series));
    }
    SmartSnapshot snapshot;
    // A disk being erased or held elsewhere is not read (nor waited for past the lock's wait).
    if (drives_.Read(*drive, tables[series], &snapshot, WakeDisk::kYes, {}) != DiskRead::kRead ||
        !snapshot.attribute194Celsius)
      return false;
    *celsius = *snapshot.attribute194Celsius;
    return true;
  };
  return BuildDiskInfoPage(roots_, input, message);
}

std::optional<std::string> ReportPages::BuildHealth(WindowState& state, std::string* message) {
  HealthPageInput input;
  input.driveCount = state.driveCount;
  const DriveRecord* drive = state.SelectedDrive();
  const bool ownFigures = state.smartOwner.Is(drive);
  if (drive != nullptr) {
    input.model = drive->model;
    input.serial = drive->serial;
    // Another maker's disk comes this far only to be read: without an endurance indicator
    // of its own it gets what the tab gives such a disk.
    if (!IsMakersDisk(drive->model, state.internalMode) &&
        (!ownFigures || HealthSourceOf(state.smart) != HealthSource::kEndurance)) {
      if (FileExists(roots_.HomeData(kUnsupportedPage)) ||
          FileExists(roots_.InstallData(kUnsupportedPage)))
        return kUnsupportedPage;
      SetMessage(message, "This function is only vaild for Norvik disk.");
      return std::nullopt;
    }
  }
  if (ownFigures && HealthSourceOf(state.smart) == HealthSource::kEndurance)
    input.percentageUsed = EnduranceIndicator(state.smart);
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
  input.smartStatusPassed = state.smart.smartStatusPassed;
  input.deviceStatistics = state.smart.deviceStatistics;
  input.selfTestLog = state.smart.selfTestLog;
  input.errorLog = state.smart.errorLog;
  input.selfTestCapability = state.smart.selfTestCapability;
  input.selfTestExecution = state.smart.selfTestExecution;
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
  }
  input.attr167Raw = state.smart.attr167Raw;
  input.reallocatedRaw = state.smart.reallocatedRaw;
  input.attr161Raw = state.smart.attr161Raw;
  input.attr163Raw = state.smart.attr163Raw;
  input.modelSeries = state.smart.modelSeries;
  input.peCycleLimit = state.smart.peCycleLimit;
  state.vendorFigure = 0;
  if (const DriveRecord* drive = state.SelectedDrive(); drive != nullptr && state.driveCount > 0) {
    VendorReadTarget vendor;
    vendor.driveNumber = drive->driveNumber;
    vendor.model = drive->model;
    vendor.smartSignature = state.smart.smartSignature;
    vendor.isOtherSm = state.smart.isOtherSm;
    vendor.baseBoardProduct = state.baseBoardProduct;
    vendor.behindUsbBridge = drive->busType == kBusTypeUsb;
    std::string ignored;  // not shown: the page reads "Unknown" instead
    state.vendorFigure = drives_.ReadVendorFigure(vendor, &ignored);
  }
  input.vendorFigure = state.vendorFigure;
  return BuildInternalPage(roots_, input, message);
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
