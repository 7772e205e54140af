#include "cli/status_command.h"

#include <algorithm>
#include <atomic>

#include "cli/exit_codes.h"
#include "cli/machine_opener.h"
#include "cli/sub_commands.h"
#include "monitor/disk_watch.h"
#include "store/disk_watch_state.h"
#include "store/settings.h"

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
         Value(r.lifespanDays, " days") + " | " + AlertStateText(state, settings);
}

std::string Disks(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " disk" : " disks");
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
  if (!RootsFor(options, installFolder, &roots, &error)) {
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
  if (states.empty() && problems.empty()) {
    out << "UNKNOWN: no disk state in " << folder
        << " yet; the monitor of a running window writes it on every pass\n";
    return kStatusUnknown;
  }
  AlertSettings settings;
  std::atomic<int> busy{0};
  (void)LoadAlertSettings(settings, busy, roots.home);  // defaults when there is no file

  std::stable_sort(states.begin(), states.end(), [](const auto& a, const auto& b) {
    return std::make_pair(a.readings.driveNumber < 0, a.readings.driveNumber) <
           std::make_pair(b.readings.driveNumber < 0, b.readings.driveNumber);
  });
  std::size_t gone = 0, fired = 0;
  for (const DiskWatchState& state : states) {
    gone += IsGone(state) ? 1 : 0;
    fired += state.watched && !IsGone(state) && !state.firedText.empty() ? 1 : 0;
  }
  int code = kStatusOk;
  if (gone != 0) {
    code = kStatusCritical;
    out << "CRITICAL: " << Disks(gone) << " no longer present";
  } else if (!problems.empty()) {
    code = kStatusUnknown;
    out << "UNKNOWN: " << problems.size() << " disk state(s) cannot be read";
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
