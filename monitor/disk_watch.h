#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "monitor/counter_watch.h"
#include "monitor/rearm_period.h"
#include "store/disk_watch_state.h"
#include "store/settings.h"

// What one monitor pass decides for every disk, as a pure function: the disks' states from
// the pass before (or from their files after a restart), the disks this pass found with
// their readings and fired rules, the alert settings and the time in; the new states and the
// mails to send out. Each disk has its own re-arm state: after a mail about it, it is silent
// until the period that the mail began (RefreshBy, RefreshByType) is over; a disk that was
// not found on two passes in a row gets one "no longer present" mail, under the same rule.
// The alerts on change (counter_watch.h) share that period: one mail lists every rule that
// fired and every change since the last mail. States kept under other alert settings start
// afresh; the baselines of the changes stay.
//
// A pass: LoadDiskWatchStates, DropStaleDiskWatchStates for the ones it forgot, read every
// kept disk once, FiredAlerts for each read, DecideWatchPass, send the mails one after
// another, SaveDiskWatchState for each state.
namespace ds {

// A disk the pass found.
struct SeenDisk {
  std::string model;  // IDENTIFY texts
  std::string serial;
  std::string firmware;
  bool read = false;               // its S.M.A.R.T. data was read (false: unread, or left asleep)
  DiskReadings readings;           // device and number always; the values when read (lastGoodRead
                                   // is set by the decision)
  std::vector<std::string> fired;  // FiredAlerts of the read, in rule order
  CounterReading counters = {};    // of the read, for the alerts on change
};

struct WatchPass {
  std::vector<DiskWatchState> previous;
  std::vector<SeenDisk> seen;
  AlertSettings settings;
  std::vector<std::string> ignoredSerials;  // Ignore_Serial of the system configuration
  WallClock::time_point now;
  ChangeAlertSwitches changeAlerts = {};  // of the system configuration
};

// One mail to send: the identity lines of its disk and the alert text.
struct WatchMail {
  std::string model;
  std::string serial;
  std::string firmware;
  std::string device;  // where the disk was (last) found
  std::string text;    // the fired rules and changes, one a line, or GoneMailText
  bool gone = false;
};

struct WatchOutcome {
  std::vector<DiskWatchState> states;  // every disk found now or before, sorted by key
  std::vector<WatchMail> mails;        // in the order of `seen`, then the vanished disks
};

WatchOutcome DecideWatchPass(const WatchPass& pass);

// "DUT's disk <model> <serial> is no longer present."
std::string GoneMailText(std::string_view model, std::string_view serial);

// A short fingerprint of every alert setting: a state kept under another one is reset.
std::string AlertSettingsStamp(const AlertSettings& settings);

// How a disk stands, for `status` and the Home view: "not watched", "OK", "alert mailed
// <time>" (the last reading is the one mailed about), "silent until <time>" (or "silent until
// the settings change"), "no longer present since <time>" for a watched disk gone two passes.
std::string AlertStateText(const DiskWatchState& state, const AlertSettings& settings);

// A watched disk missing for two passes or more.
bool IsGone(const DiskWatchState& state);

}  // namespace ds
