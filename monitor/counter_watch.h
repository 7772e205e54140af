#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "drive/drive_record.h"
#include "store/disk_watch_state.h"
#include "store/system_config.h"

// The alerts on change, beside the five rules: a self-test that failed since the last look,
// the error log count rising, and the raw value of attribute 5, 196, 197, 198 or 199 rising
// (its low 32 bits: some makers pack further fields into the upper bytes). Pure: a disk's
// baselines and one read in; the alert texts and the next baselines out. A value seen for
// the first time only sets its baseline. A value that falls (a counter reset, a new log)
// becomes the baseline without an alert; one that rises stays pending against the old
// baseline until it is mailed, so a mail names every change since the last one.
namespace ds {

// The values of one read the comparison needs.
struct CounterReading {
  struct Attribute {
    int id = 0;
    std::string name;  // the description table's
    std::uint32_t raw = 0;
  };
  std::vector<Attribute> attributes;  // those of the five the read listed
  std::optional<int> errorCount;
  std::optional<SelfTestLog> selfTestLog;
};

CounterReading CountersOf(const SmartSnapshot& smart);

struct CounterCheck {
  // Self-test failures (oldest first), the error count, then the attributes by id.
  std::vector<std::string> texts;
  CounterBaselines mailed;  // the baselines once `texts` went out: every value as read
  CounterBaselines held;    // the baselines while they did not: rises stay pending
};

// Alerts switched off keep their baselines following the read, so switching one on later
// does not mail old changes.
CounterCheck CheckCounters(const CounterBaselines& baselines, const CounterReading& reading,
                           const ChangeAlertSwitches& switches);

// "DUT's self-test failed (Completed: read failure, LBA 4096)."; "LBA -" when the disk named
// no failing LBA.
std::string SelfTestFailedText(const SelfTestLogEntry& entry);

}  // namespace ds
