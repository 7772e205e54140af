#include "cli/status_command.h"

#include <algorithm>
#include <atomic>
#include <map>

#include "cli/exit_codes.h"
#include "cli/machine_opener.h"
#include "cli/sub_commands.h"
#include "drive/drive_figures.h"
#include "drive/model_series.h"
#include "monitor/disk_watch.h"
#include "monitor/good_read.h"
#include "platform/instance_lock.h"
#include "store/description_tables.h"
#include "store/disk_watch_state.h"
#include "store/history_folder.h"
#include "store/settings.h"
#include "store/system_config.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

constexpr const char* kPrefix = "drivesentinel status: ";

template <typename Number>
std::string Value(const std::optional<Number>& value, const char* unit) {
  return value ? std::to_string(*value) + unit : std::string("---");
}

std::string Text(const std::string& text) {
  return text.empty() ? std::string("---") : text;
}

std::string DiskLine(const DiskWatchState& state, const AlertSettings& settings) {
  const DiskReadings& r = state.readings;
  return (r.driveNumber >= 0 ? std::to_string(r.driveNumber) : std::string("-")) + " | " +
         Text(r.device) + " | " + Text(state.model) + " | " + Text(state.serial) + " | " +
         Value(r.temperatureCelsius, " C") + " | " + Value(r.healthPercent, " %") + " | " +
         Value(r.lifespanDays, " days") + " | " + SmartVerdictText(r.smartStatusPassed) + " | " +
         AlertStateText(state, settings);
}

// A present disk whose own health check (SMART RETURN STATUS) failed at its last reading,
// whatever the alert settings: the verdict is the disk's, not a limit of ours.
bool VerdictFailed(const DiskWatchState& state) {
  return !IsGone(state) && state.readings.smartStatusPassed == false;
}

std::string Disks(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " disk" : " disks");
}

// True when a program runs for `home`: its instance lock is held. A lock that cannot be
// tried counts as running, so the state folder is read as before. The lock taken here is
// let go at once.
bool ProgramRuns(const std::string& home) {
  InstanceLock probe;
  return probe.Acquire(home + kInstanceLockFile) != InstanceLock::Outcome::kAcquired;
}

// With no program running, every kept disk is read now, never woken and never mailed about;
// the states of the folder give the rest (re-arm state, disks no longer found). False with
// `error` when the machine cannot be opened or asked.
bool ReadDisksNow(const MachineOptions& options, const ProgramRoots& roots,
                  const AlertSettings& settings, const SystemConfig& config,
                  std::vector<DiskWatchState>* states, std::size_t* unread, std::string* error) {
  OpenedMachine machine;
  if (!OpenMachine(options, roots, {}, true, &machine, error))
    return false;
  DriveService& drives = *machine.drives;
  if (const Status access = drives.CheckAccess(); !access) {
    *error = access.message;
    return false;
  }
  const WallClock::time_point now = WallClock::now();
  const std::vector<VolumeFacts> volumes = drives.Volumes();
  std::map<int, AttributeTable> tables;  // by series
  for (const DriveRecord& drive : machine.list.drives) {
    const std::string key = DiskStateKey(drive.model, drive.serial);
    auto known = std::find_if(states->begin(), states->end(), [&key](const DiskWatchState& s) {
      return DiskStateKey(s.model, s.serial) == key;
    });
    if (known == states->end()) {
      known = states->insert(states->end(), DiskWatchState{});
      known->model = std::string(TrimBoth(drive.model));
      known->serial = std::string(TrimBoth(drive.serial));
      known->firmware = std::string(TrimBoth(drive.firmware));
    }
    DiskWatchState& state = *known;
    state.absentPasses = 0;
    state.readings.device = drives.DiskKey(drive.driveNumber);
    state.readings.driveNumber = drive.driveNumber;
    state.watched =
        settings.EnableAlert != 0 && !IsSerialIgnored(config.ignoredSerials, drive.serial);
    const int series = DetectModelSeries(drive.model);
    if (!tables.contains(series))
      static_cast<void>(LoadAttributeTable(tables[series], roots.install, series));
    SmartSnapshot smart;
    const DiskRead read = drives.Read(drive, tables[series], &smart, WakeDisk::kNo, {});
    if (read != DiskRead::kRead) {
      *unread += read == DiskRead::kUnread ? 1 : 0;  // asleep or busy: its last readings stay
      continue;
    }
    HistoryStart start;
    static_cast<void>(
        ReadHistoryStart(HistoryFolder(roots.home, drive.model, drive.serial), &start));
    SeenDisk seen;
    TakeGoodRead(smart, drive.driveNumber, start, DaysSinceHistoryStart(start, now), volumes,
                 state.watched ? &settings : nullptr, &seen);
    state.readings.temperatureCelsius = seen.readings.temperatureCelsius;
    state.readings.healthPercent = seen.readings.healthPercent;
    state.readings.lifespanDays = seen.readings.lifespanDays;
    state.readings.smartStatusPassed = seen.readings.smartStatusPassed;
    state.readings.lastGoodRead = static_cast<std::int64_t>(WallClock::to_time_t(now));
    state.firedText = seen.fired.empty() ? std::string() : seen.fired.back();
  }
  return true;
}

}  // namespace

int RunStatusCommand(const std::vector<std::string>& args, const std::string& installFolder,
                     std::ostream& out, std::ostream& err) {
  std::vector<std::string> words = args;
  MachineOptions options;
  bool reset = false;
  std::string error;
  bool parsed = TakeMachineOptions(&words, &options, &error);
  for (const std::string& word : words) {
    if (!parsed)
      break;
    if (word == "--reset-alerts") {
      reset = true;
    } else {
      error = "unknown argument \"" + word + "\"";
      parsed = false;
    }
  }
  if (!parsed) {
    err << kPrefix << error << "\n" << CommandUsage("status");
    return kStatusUnknown;
  }
  ProgramRoots roots;
  SystemConfig config;
  if (!RootsFor(options, installFolder, &roots, &error, &config)) {
    out << "UNKNOWN: " << error << "\n";
    return kStatusUnknown;
  }
  const std::string folder = DiskStateFolder(roots.home);
  if (reset) {
    if (!ClearDiskWatchAlerts(folder, &error)) {
      out << "UNKNOWN: " << error << "\n";
      return kStatusUnknown;
    }
    out << "OK: alerts of every disk are armed again\n";
    return kStatusOk;
  }

  std::vector<DiskWatchState> states;
  std::vector<std::string> problems;
  const bool listed = LoadDiskWatchStates(folder, &states, &problems, DamagedState::kLeave);
  for (const std::string& problem : problems)
    err << kPrefix << problem << " (run as root?)\n";
  if (!listed) {
    out << "UNKNOWN: the disk states in " << folder << " cannot be read\n";
    return kStatusUnknown;
  }
  AlertSettings settings;
  std::atomic<int> busy{0};
  (void)LoadAlertSettings(settings, busy, roots.home);  // defaults when there is no file
  std::size_t unread = 0;
  if (!ProgramRuns(roots.home)) {
    if (!ReadDisksNow(options, roots, settings, config, &states, &unread, &error)) {
      out << "UNKNOWN: " << error << "\n";
      return kStatusUnknown;
    }
  } else if (states.empty() && problems.empty()) {
    out << "UNKNOWN: no disk state in " << folder
        << " yet; the monitor of a running window writes it on every pass\n";
    return kStatusUnknown;
  }

  std::stable_sort(states.begin(), states.end(), [](const auto& a, const auto& b) {
    return std::make_pair(a.readings.driveNumber < 0, a.readings.driveNumber) <
           std::make_pair(b.readings.driveNumber < 0, b.readings.driveNumber);
  });
  std::size_t gone = 0, fired = 0;
  std::string failed;  // the disks whose own health check failed, by device, model and serial
  for (const DiskWatchState& state : states) {
    gone += IsGone(state) ? 1 : 0;
    fired += state.watched && !IsGone(state) && !state.firedText.empty() ? 1 : 0;
    if (VerdictFailed(state)) {
      failed += (failed.empty() ? "" : ", ") + Text(state.readings.device) + " (" + state.model +
                " " + state.serial + ")";
    }
  }
  int code = kStatusOk;
  if (gone != 0 || !failed.empty()) {
    code = kStatusCritical;
    out << "CRITICAL: ";
    if (gone != 0)
      out << Disks(gone) << " no longer present" << (failed.empty() ? "" : "; ");
    if (!failed.empty())
      out << "own health check reports a threshold exceeded on " << failed;
  } else if (!problems.empty() || unread != 0) {
    code = kStatusUnknown;
    out << "UNKNOWN: ";
    if (!problems.empty())
      out << problems.size() << " disk state(s) cannot be read";
    if (unread != 0)
      out << (problems.empty() ? "" : ", ") << Disks(unread) << " cannot be read";
  } else if (fired != 0) {
    code = kStatusWarning;
    out << "WARNING: " << Disks(fired) << " beyond an alert limit";
  } else {
    out << "OK: " << Disks(states.size());
  }
  out << "\n";
  for (const DiskWatchState& state : states) {
    out << DiskLine(state, settings);
    if (state.watched && !IsGone(state) && !state.firedText.empty())
      out << " | " << state.firedText;
    out << "\n";
  }
  return code;
}

}  // namespace ds
