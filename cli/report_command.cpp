#include "cli/report_command.h"

#include <atomic>

#include "cli/exit_codes.h"
#include "cli/machine_opener.h"
#include "cli/sub_commands.h"
#include "drive/drive_figures.h"
#include "drive/drive_report.h"
#include "monitor/disk_watch.h"
#include "monitor/rearm_period.h"
#include "store/disk_watch_state.h"
#include "store/history_folder.h"
#include "store/settings.h"
#include "text/leading_integer.h"

namespace ds {
namespace {

// The figures of a good read (with the disk's history start when it has one) and the
// monitor's last word on the disk from its state file.
void AddWatchFacts(const ProgramRoots& roots, const std::vector<DiskWatchState>& states,
                   const AlertSettings& settings, DriveReading* reading) {
  const DriveRecord& drive = reading->record;
  const WallClock::time_point now = WallClock::now();
  if (reading->smartRead) {
    HistoryStart start;
    const bool started =
        ReadHistoryStart(HistoryFolder(roots.home, drive.model, drive.serial), &start);
    const DriveFigures figures = FiguresOf(reading->snapshot, started ? &start : nullptr,
                                           started ? DaysSinceHistoryStart(start, now) : 0);
    reading->healthPercent = figures.healthPercent;
    reading->lifespanDays = figures.lifespanDays;
  }
  if (settings.EnableAlert == 0) {
    reading->alertState = reading->alertKind = "not watched";
  }
  const std::string key = DiskStateKey(drive.model, drive.serial);
  for (const DiskWatchState& state : states) {
    if (DiskStateKey(state.model, state.serial) != key)
      continue;
    reading->alertState = AlertStateText(state, settings);
    reading->alertKind = IsGone(state)    ? "gone"
                         : !state.watched ? "not watched"
                         : state.alerted  ? "alerted"
                                          : "ok";
    reading->alertMailed = state.lastMailed;
    const std::optional<WallClock::time_point> end =
        ReArmTime(WallClock::from_time_t(state.lastReArm), LeadingInteger(settings.RefreshBy),
                  settings.RefreshByType);
    if (state.alerted && end)
      reading->silentUntil = static_cast<std::int64_t>(WallClock::to_time_t(*end));
  }
}

}  // namespace

int RunReportCommand(const std::vector<std::string>& args, const std::string& installFolder,
                     std::ostream& out, std::ostream& err) {
  std::vector<std::string> words = args;
  MachineOptions options;
  std::optional<int> driveIndex;
  bool json = false;
  std::string error;
  bool parsed =
      TakeMachineOptions(&words, &options, &error) && TakeDriveOption(&words, &driveIndex, &error);
  for (const std::string& word : words) {
    if (!parsed)
      break;
    if (word == "--json") {
      json = true;
    } else if (word == "--all") {
      driveIndex.reset();
    } else {
      error = "unknown argument \"" + word + "\"";
      parsed = false;
    }
  }
  if (!parsed) {
    err << "drivesentinel report: " << error << "\n" << CommandUsage("report");
    return kExitUsage;
  }

  ProgramRoots roots;
  if (!RootsFor(options, installFolder, &roots, &error)) {
    err << "drivesentinel report: " << error << "\n";
    return kExitFailure;
  }
  const MessageSink toErr = [&err](std::string_view text) {
    err << "drivesentinel report: " << text << "\n";
  };
  OpenedMachine machine;
  if (!OpenMachine(options, roots, toErr, true, &machine, &error)) {
    err << "drivesentinel report: " << error << "\n";
    return kExitNoRights;
  }
  const DriveList& list = machine.list;
  if (list.driveCount == 0) {
    WriteReport(out, list, {}, json);
    return kExitNoDisk;
  }
  if (const Status access = machine.drives->CheckAccess(); !access) {
    err << "drivesentinel report: " << access.message << "\n";
    return kExitNoRights;
  }
  if (driveIndex && *driveIndex >= list.driveCount) {
    err << "drivesentinel report: there is no disk " << *driveIndex << " (found " << list.driveCount
        << ")\n";
    return kExitUsage;
  }

  std::vector<DiskWatchState> states;
  std::vector<std::string> problems;  // a state that cannot be read leaves its disk at "---"
  static_cast<void>(
      LoadDiskWatchStates(DiskStateFolder(roots.home), &states, &problems, DamagedState::kLeave));
  AlertSettings settings;
  std::atomic<int> busy{0};
  static_cast<void>(LoadAlertSettings(settings, busy, roots.home));
  std::vector<DriveReading> readings;
  const std::vector<VolumeFacts> volumes = machine.drives->Volumes();
  const int startLimit = StartPeCycleLimit(roots);
  bool allRead = true;
  for (int i = 0; i < list.driveCount; ++i) {
    if (driveIndex && i != *driveIndex)
      continue;
    DriveReading reading;
    reading.index = i;
    reading.record = list.drives[static_cast<std::size_t>(i)];
    reading.smartRead = ReadDriveWithTable(
        *machine.drives, reading.record, roots.install, startLimit,
        [&reading](std::string_view text) { reading.messages.emplace_back(text); },
        &reading.snapshot);
    allRead = allRead && reading.smartRead;
    for (const VolumeFacts& volume : volumes) {
      if (volume.driveNumber == reading.record.driveNumber)
        reading.volumes.push_back(volume);
    }
    AddWatchFacts(roots, states, settings, &reading);
    readings.push_back(std::move(reading));
  }
  WriteReport(out, list, readings, json);
  return allRead ? kExitOk : kExitDiskUnreadable;
}

}  // namespace ds
