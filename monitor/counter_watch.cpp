#include "monitor/counter_watch.h"

#include <algorithm>
#include <array>

#include "drive/selftest.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

constexpr std::array<int, 5> kWatchedAttributes = {5, 196, 197, 198, 199};

SelfTestMark MarkOf(const SelfTestLogEntry& e) {
  return {e.descriptor, e.test, e.status, e.powerOnHours,
          e.failingLba ? static_cast<std::int64_t>(*e.failingLba) : -1};
}

// States 3-8: the test ended in an error of the disk (not aborted or interrupted by the host).
bool Failed(const SelfTestLogEntry& e) {
  return e.state >= 3 && e.state <= 8;
}

// The entries written since `mark`, newest first. When the marked entry is no longer there
// (the ring ran over, or the other of the two logs was read), those of later power-on hours.
std::vector<const SelfTestLogEntry*> NewEntries(const SelfTestLog& log, const SelfTestMark& mark) {
  std::vector<const SelfTestLogEntry*> added;
  for (const SelfTestLogEntry& e : log.entries) {
    if (mark.descriptor != 0 && MarkOf(e) == mark)
      return added;
    added.push_back(&e);
  }
  if (mark.descriptor == 0)
    return added;  // the log was empty
  added.clear();
  for (const SelfTestLogEntry& e : log.entries) {
    if (e.powerOnHours > mark.powerOnHours)
      added.push_back(&e);
  }
  return added;
}

}  // namespace

std::string SelfTestFailedText(const SelfTestLogEntry& entry) {
  return "DUT's self-test failed (" + SelfTestStateText(entry.state) + ", LBA " +
         (entry.failingLba ? std::to_string(*entry.failingLba) : std::string("-")) + ").";
}

CounterReading CountersOf(const SmartSnapshot& smart) {
  CounterReading reading;
  for (int id : kWatchedAttributes) {
    const auto it = std::find_if(smart.attributes.begin(), smart.attributes.end(),
                                 [id](const SmartAttribute& a) { return a.id == id; });
    if (it != smart.attributes.end())
      reading.attributes.push_back({id, it->name, static_cast<std::uint32_t>(it->raw)});
  }
  if (smart.errorLog)
    reading.errorCount = smart.errorLog->errorCount;
  reading.selfTestLog = smart.selfTestLog;
  return reading;
}

CounterCheck CheckCounters(const CounterBaselines& baselines, const CounterReading& reading,
                           const ChangeAlertSwitches& switches) {
  CounterCheck check{{}, baselines, baselines};
  if (reading.selfTestLog) {
    const SelfTestLog& log = *reading.selfTestLog;
    const SelfTestMark newest = log.entries.empty() ? SelfTestMark{} : MarkOf(log.entries.front());
    check.mailed.newestSelfTest = newest;
    const std::size_t before = check.texts.size();
    if (baselines.newestSelfTest && switches.selfTest) {
      const std::vector<const SelfTestLogEntry*> added = NewEntries(log, *baselines.newestSelfTest);
      for (auto it = added.rbegin(); it != added.rend(); ++it) {
        if (Failed(**it))
          check.texts.push_back(SelfTestFailedText(**it));
      }
    }
    if (check.texts.size() == before)
      check.held.newestSelfTest = newest;
  }
  if (reading.errorCount) {
    const int count = *reading.errorCount;
    check.mailed.errorCount = count;
    if (baselines.errorCount && switches.errorLog && count > *baselines.errorCount) {
      check.texts.push_back(
          Format("DUT's error log count rose from %d to %d.", *baselines.errorCount, count));
    } else {
      check.held.errorCount = count;
    }
  }
  for (const CounterReading::Attribute& a : reading.attributes) {
    check.mailed.attributes[a.id] = a.raw;
    const auto base = baselines.attributes.find(a.id);
    const bool on = std::find(switches.attributes.begin(), switches.attributes.end(), a.id) !=
                    switches.attributes.end();
    if (base != baselines.attributes.end() && on && a.raw > base->second) {
      check.texts.push_back(Format(
          "DUT's attribute %d (%s) raw value rose from %llu to %llu.", a.id, a.name.c_str(),
          static_cast<unsigned long long>(base->second), static_cast<unsigned long long>(a.raw)));
    } else {
      check.held.attributes[a.id] = a.raw;
    }
  }
  return check;
}

}  // namespace ds
