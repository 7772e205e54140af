#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the monitor remembers of every disk it watches, one key=value file per disk in
// home + "data/state/": the disk's re-arm state (so a restart inside a period does not mail
// again), when it was last seen, its last readings (for `status` and the Home view), the
// baselines of the alerts on change and when its scheduled self-tests last ran.
// A disk is known by its model and serial from IDENTIFY, put through the history folder's
// name rule; another disk in the same slot is another key and starts afresh.
namespace ds {

// Days after which the state of a disk not seen since is forgotten.
inline constexpr std::int64_t kDiskStateKeepDays = 30;

// The last readings of a disk. Times are seconds since 1970 (UTC); 0 means never.
struct DiskReadings {
  std::string device;  // "/dev/sda", or the simulated drive's folder
  int driveNumber = -1;
  std::optional<int> temperatureCelsius;
  std::optional<int> healthPercent;
  std::optional<std::int64_t> lifespanDays;  // remaining lifespan
  std::int64_t lastGoodRead = 0;
  std::optional<bool> smartStatusPassed = {};  // the disk's own verdict; missing: no answer

  bool operator==(const DiskReadings&) const = default;
};

// The newest entry of a self-test log, enough to find it again in a later read.
struct SelfTestMark {
  int descriptor = 0;  // 0: the log was empty
  int test = 0;
  int status = 0;
  int powerOnHours = 0;
  std::int64_t failingLba = -1;  // -1: none

  bool operator==(const SelfTestMark&) const = default;
};

// What the alerts on change compare a read with: the values last mailed about, or first
// seen. A value never seen is missing.
struct CounterBaselines {
  std::map<int, std::uint32_t> attributes;  // by id: the low 32 bits of the raw value
  std::optional<int> errorCount;
  std::optional<SelfTestMark> newestSelfTest;

  bool operator==(const CounterBaselines&) const = default;
};

struct DiskWatchState {
  std::string model;  // IDENTIFY texts, trimmed
  std::string serial;
  std::string firmware;
  bool alerted = false;         // a mail went out; silent until the period ends
  std::int64_t lastReArm = 0;   // start of the running period; 0: begins at the next pass
  std::int64_t lastMailed = 0;  // the last mail about this disk
  std::int64_t lastSeen = 0;    // the last pass that found the disk
  int absentPasses = 0;         // passes in a row that did not find it
  bool goneMailed = false;      // the "no longer present" mail of this absence went out
  bool watched = true;          // false: ignored by serial, or alerts off, at the last pass
  std::string firedText;        // the rule text that fired at the last good read; "" none
  std::string settingsStamp;    // the alert settings the state was kept under
  DiskReadings readings;
  CounterBaselines baselines = {};
  // The due times of the scheduled short and extended self-tests last handled (0: none yet).
  std::int64_t shortTestHandled = 0;
  std::int64_t extendedTestHandled = 0;

  bool operator==(const DiskWatchState&) const = default;
};

// The state folder below the home folder (which ends in "/"): home + "data/state/".
std::string DiskStateFolder(const std::string& home);

// The key of a disk: HistoryFolderName(model, serial). Its file is folder + key + ".dat".
std::string DiskStateKey(std::string_view model, std::string_view serial);

// What a load does with a file that is not a state.
enum class DamagedState {
  kKeepAside,  // rename it to NAME.unreadable-YYYYMMDD-HHMMSS: the disk starts afresh
  kLeave,      // leave it as it is (readers that change nothing, as `status`)
};

// Every state file of `folder`, sorted by key. A missing folder gives none. A file that
// cannot be read or is not a state (no model or serial, a time that is no number) is left
// out with a line for the log in `problems`. False (with `problems`) when the folder is
// there but cannot be listed.
[[nodiscard]] bool LoadDiskWatchStates(const std::string& folder,
                                       std::vector<DiskWatchState>* states,
                                       std::vector<std::string>* problems,
                                       DamagedState damaged = DamagedState::kKeepAside);

// Writes the state of one disk atomically, creating the folder when needed. The file is its
// owner's only: the settings stamp is taken over the mail account too.
[[nodiscard]] bool SaveDiskWatchState(const std::string& folder, const DiskWatchState& state,
                                      std::string* message);

// Re-arms every disk: alerted, goneMailed and the settings stamp are cleared and the period
// begins at the next pass; readings and lastSeen stay. Saving changed alert settings and
// `status --reset-alerts` call this. False with `message` when a state could not be written.
[[nodiscard]] bool ClearDiskWatchAlerts(const std::string& folder, std::string* message);

// Removes the files of disks not seen for kDiskStateKeepDays at `now` (seconds since 1970)
// and returns the keys removed.
std::vector<std::string> DropStaleDiskWatchStates(const std::string& folder, std::int64_t now);

// The file text of a state, and back; ParseDiskWatchState fails for a text that is no state.
std::string DiskWatchStateText(const DiskWatchState& state);
[[nodiscard]] std::optional<DiskWatchState> ParseDiskWatchState(std::string_view text);

}  // namespace ds
