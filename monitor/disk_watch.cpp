#include "monitor/disk_watch.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "store/alert_fields.h"
#include "store/system_config.h"
#include "text/leading_integer.h"
#include "text/local_time_text.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

std::int64_t Seconds(WallClock::time_point time) {
  return static_cast<std::int64_t>(WallClock::to_time_t(time));
}

// The alert part of a state kept under other settings (or cleared) begins anew.
void ResetIfOtherSettings(DiskWatchState& state, const std::string& stamp) {
  if (state.settingsStamp == stamp)
    return;
  state.alerted = false;
  state.goneMailed = false;
  state.lastReArm = 0;
  state.settingsStamp = stamp;
}

// Ends the silence after a mail once the period that the mail began is over.
void ReArmIfDue(DiskWatchState& state, const WatchPass& pass) {
  if (state.alerted &&
      ReArmDue(WallClock::from_time_t(state.lastReArm), pass.now,
               LeadingInteger(pass.settings.RefreshBy), pass.settings.RefreshByType)) {
    state.alerted = false;
  }
}

void Mailed(DiskWatchState& state, std::int64_t now) {
  state.alerted = true;
  state.lastReArm = now;
  state.lastMailed = now;
}

WatchMail MailOf(const DiskWatchState& state, std::string text, bool gone) {
  return {state.model, state.serial, state.firmware, state.readings.device, std::move(text), gone};
}

}  // namespace

std::string GoneMailText(std::string_view model, std::string_view serial) {
  return "DUT's disk " + std::string(TrimBoth(model)) + " " + std::string(TrimBoth(serial)) +
         " is no longer present.";
}

std::string AlertSettingsStamp(const AlertSettings& settings) {
  // FNV-1a over "key=value\n" of every field, in table order.
  std::uint64_t hash = 14695981039346656037ULL;
  const auto add = [&hash](std::string_view text) {
    for (char c : text) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 1099511628211ULL;
    }
  };
  for (const AlertField& field : AlertFields()) {
    add(field.key);
    add("=");
    add(field.text != nullptr ? settings.*field.text : std::to_string(settings.*field.whole));
    add("\n");
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

bool IsGone(const DiskWatchState& state) {
  return state.watched && state.absentPasses >= 2;
}

std::string AlertStateText(const DiskWatchState& state, const AlertSettings& settings) {
  if (IsGone(state))
    return "no longer present since " + LocalTimeText(state.lastSeen);
  if (!state.watched)
    return "not watched";
  if (!state.alerted)
    return "OK";
  if (state.readings.lastGoodRead <= state.lastMailed)
    return "alert mailed " + LocalTimeText(state.lastMailed);
  const std::optional<WallClock::time_point> end =
      ReArmTime(WallClock::from_time_t(state.lastReArm), LeadingInteger(settings.RefreshBy),
                settings.RefreshByType);
  return "silent until " +
         (end ? LocalTimeText(Seconds(*end)) : std::string("the settings change"));
}

WatchOutcome DecideWatchPass(const WatchPass& pass) {
  const std::int64_t now = Seconds(pass.now);
  const std::string stamp = AlertSettingsStamp(pass.settings);
  const bool alertsOn = pass.settings.EnableAlert != 0;
  std::map<std::string, DiskWatchState> states;
  for (const DiskWatchState& state : pass.previous)
    states.emplace(DiskStateKey(state.model, state.serial), state);

  WatchOutcome outcome;
  std::map<std::string, bool> found;
  for (const SeenDisk& disk : pass.seen) {
    const std::string key = DiskStateKey(disk.model, disk.serial);
    // Two disks with the same model and serial are one to the state: the first counts.
    if (!found.emplace(key, true).second)
      continue;
    auto [it, fresh] = states.try_emplace(key);
    DiskWatchState& state = it->second;
    if (fresh)
      state.settingsStamp = stamp;
    ResetIfOtherSettings(state, stamp);
    ReArmIfDue(state, pass);
    state.model = std::string(TrimBoth(disk.model));
    state.serial = std::string(TrimBoth(disk.serial));
    state.firmware = std::string(TrimBoth(disk.firmware));
    state.lastSeen = now;
    state.absentPasses = 0;
    state.goneMailed = false;
    state.watched = alertsOn && !IsSerialIgnored(pass.ignoredSerials, disk.serial);
    // A disk first seen has no scheduled self-test to catch up.
    for (std::int64_t* handled : {&state.shortTestHandled, &state.extendedTestHandled})
      *handled = *handled == 0 ? now : *handled;
    if (!disk.read) {
      // An unread or sleeping disk keeps its last readings; only where it sits is new.
      state.readings.device = disk.readings.device;
      state.readings.driveNumber = disk.readings.driveNumber;
      continue;
    }
    state.readings = disk.readings;
    state.readings.lastGoodRead = now;
    state.firedText = disk.fired.empty() ? std::string() : disk.fired.back();
    const CounterCheck changes = CheckCounters(state.baselines, disk.counters, pass.changeAlerts);
    std::string text;
    for (const std::vector<std::string>* texts : {&disk.fired, &changes.texts}) {
      for (const std::string& line : *texts)
        text += (text.empty() ? "" : "\n") + line;
    }
    const bool mail = state.watched && !text.empty() && !state.alerted;
    // Unwatched, the baselines follow the reads: watching again mails no old change.
    state.baselines = mail || !state.watched ? changes.mailed : changes.held;
    if (mail) {
      Mailed(state, now);
      outcome.mails.push_back(MailOf(state, text, false));
    }
  }
  for (auto& [key, state] : states) {
    if (found.count(key) != 0)
      continue;
    ResetIfOtherSettings(state, stamp);
    ReArmIfDue(state, pass);
    ++state.absentPasses;
    state.watched = alertsOn && !IsSerialIgnored(pass.ignoredSerials, state.serial);
    if (IsGone(state) && !state.goneMailed && !state.alerted) {
      Mailed(state, now);
      state.goneMailed = true;
      outcome.mails.push_back(MailOf(state, GoneMailText(state.model, state.serial), true));
    }
  }
  for (auto& [key, state] : states)
    outcome.states.push_back(std::move(state));
  return outcome;
}

}  // namespace ds
