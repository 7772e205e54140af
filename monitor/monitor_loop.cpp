#include "monitor/monitor_loop.h"

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "drive/drive_figures.h"
#include "drive/model_series.h"
#include "monitor/good_read.h"
#include "monitor/selftest_runner.h"
#include "platform/network_names.h"
#include "store/description_tables.h"
#include "store/history_folder.h"
#include "store/system_config.h"
#include "text/leading_integer.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

bool WaitOnStop(std::chrono::milliseconds duration, std::stop_token stop) {
  std::mutex mutex;
  std::condition_variable_any woken;
  std::unique_lock<std::mutex> lock(mutex);
  woken.wait_for(lock, stop, duration, [] { return false; });
  return !stop.stop_requested();
}

CivilDate LocalDateOf(WallClock::time_point when) {
  const std::time_t time = WallClock::to_time_t(when);
  std::tm local{};
  localtime_r(&time, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

}  // namespace

MonitorLoop::MonitorLoop(MonitorWindow& window, DriveService& drives, MailChannel& mail,
                         ProgramRoots roots, MonitorTiming timing, MessageSink log,
                         std::function<WallClock::time_point()> now, Waiter wait,
                         MetricsBoard* board, const SystemConfig& config)
    : window_(window),
      drives_(drives),
      mail_(mail),
      roots_(std::move(roots)),
      timing_(timing),
      log_(std::move(log)),
      now_(std::move(now)),
      wait_(wait ? std::move(wait) : WaitOnStop),
      board_(board),
      ignoredSerials_(config.ignoredSerials),
      changeAlerts_(config.changeAlerts),
      programStart_(WallClock::to_time_t(now_())) {
  std::string why;
  schedule_ = ScheduleFromConfig(config, &why);
  if (!why.empty() && log_)
    log_("the self-test schedule is left out: " + why);
}

bool MonitorLoop::Wait(std::chrono::milliseconds duration, const std::stop_token& stop) {
  return !stop.stop_requested() && wait_(duration, stop);
}

void MonitorLoop::Run(std::stop_token stop) {
  if (!Wait(timing_.firstWait(), stop))
    return;
  if (window_.View().autostartLaunch == 1)
    window_.Minimize();
  do {
    Pass(stop);
  } while (Wait(timing_.period, stop));
}

const MonitorLoop::Reading& MonitorLoop::ReadAfresh(const MonitorView& view,
                                                    const DriveRecord& drive,
                                                    const AttributeTable& table,
                                                    const SmartSnapshot& previous,
                                                    PassReadings& readings) {
  Reading reading;
  reading.snapshot = previous;
  // The monitor's reads show nothing: their texts go to the log only.
  reading.result = drives_.Read(drive, table, &reading.snapshot, WakeDisk::kNo, {});
  const bool selected = view.drive && view.drive->driveNumber == drive.driveNumber &&
                        view.drive->serial == drive.serial;
  // A failed read empties the window's snapshot all the same; a disk left alone keeps it.
  if (selected && (reading.result == DiskRead::kRead || reading.result == DiskRead::kUnread))
    window_.PublishReading(drive, reading.snapshot);
  return readings[{drive.driveNumber, drive.serial}] = std::move(reading);
}

void MonitorLoop::Pass(std::stop_token stop) {
  window_.ReloadAlertSettings();
  const WallClock::time_point now = now_();
  window_.TakeInPageInputs();
  const MonitorView view = window_.View();
  // Enumerated afresh: a disk plugged in since the last pass is watched from this one.
  const DriveList list = drives_.RefreshDriveList({});
  // The states are loaded every pass, so a reset by `status --reset-alerts` is seen.
  const std::string folder = DiskStateFolder(roots_.home);
  WatchPass watch;
  std::vector<std::string> problems;
  if (!LoadDiskWatchStates(folder, &watch.previous, &problems) && log_)
    log_("the disk states in " + folder + " cannot be listed");
  for (const std::string& problem : problems) {
    if (log_)
      log_(problem);
  }
  watch.settings = view.alert;
  watch.ignoredSerials = ignoredSerials_;
  watch.changeAlerts = changeAlerts_;
  watch.now = now;

  PassReadings readings;
  const int attempts = list.drives.size() == 1 ? timing_.readAttempts : timing_.readAttemptsEach;
  for (const DriveRecord& drive : list.drives) {
    // Rules are due unless the disk is ignored or silent after a mail; only then are its
    // failed reads tried again.
    bool rulesDue = view.alert.EnableAlert != 0 && !IsSerialIgnored(ignoredSerials_, drive.serial);
    const std::string key = DiskStateKey(drive.model, drive.serial);
    for (const DiskWatchState& state : watch.previous) {
      if (DiskStateKey(state.model, state.serial) == key && state.alerted &&
          state.settingsStamp == AlertSettingsStamp(view.alert) &&
          !ReArmDue(WallClock::from_time_t(state.lastReArm), now,
                    LeadingInteger(view.alert.RefreshBy), view.alert.RefreshByType)) {
        rulesDue = false;
      }
    }
    std::optional<SeenDisk> seen = WatchDisk(stop, now, view, drive, rulesDue, attempts, readings);
    if (!seen)
      return;  // stopped
    watch.seen.push_back(std::move(*seen));
  }

  WatchOutcome outcome = DecideWatchPass(watch);
  SendMails(outcome.mails, view.alert, stop);
  RunScheduledTest(now, list.drives, readings, outcome.states);
  for (const DiskWatchState& state : outcome.states) {
    std::string message;
    if (!SaveDiskWatchState(folder, state, &message) && log_)
      log_(message);
  }
  for (const std::string& key :
       DropStaleDiskWatchStates(folder, static_cast<std::int64_t>(WallClock::to_time_t(now)))) {
    if (log_)
      log_("the state of disk " + key + " is dropped: not seen for " +
           std::to_string(kDiskStateKeepDays) + " days");
  }
  CollectMetrics(now, list.drives, readings, outcome.states);
  ++passes_;
  if (board_)
    board_->CountPass();
}

std::optional<SeenDisk> MonitorLoop::WatchDisk(std::stop_token stop, WallClock::time_point now,
                                               const MonitorView& view, const DriveRecord& drive,
                                               bool rulesDue, int attempts,
                                               PassReadings& readings) {
  SeenDisk seen;
  seen.model = drive.model;
  seen.serial = drive.serial;
  seen.firmware = drive.firmware;
  seen.readings.device = drives_.DiskKey(drive.driveNumber);
  seen.readings.driveNumber = drive.driveNumber;
  const bool selected = view.drive && view.drive->driveNumber == drive.driveNumber &&
                        view.drive->serial == drive.serial;
  const int series = DetectModelSeries(drive.model);
  if (!selected && !tables_.contains(series))  // a missing file was told at start-up
    static_cast<void>(LoadAttributeTable(tables_[series], roots_.install, series));
  const AttributeTable& table = selected ? view.attributeTable : tables_[series];

  // A sleeping or busy disk is neither woken nor waited for: its rules wait for a pass that
  // finds it awake and free.
  const Reading* reading = nullptr;
  const int tries = rulesDue ? attempts : 1;
  for (int attempt = 1; attempt <= tries; ++attempt) {
    if (attempt > 1 && !Wait(timing_.retryGap(), stop))
      return std::nullopt;
    reading = &ReadAfresh(view, drive, table,
                          reading ? reading->snapshot : (selected ? view.smart : SmartSnapshot{}),
                          readings);
    if (reading->result != DiskRead::kUnread)
      break;
  }
  if (reading->result != DiskRead::kRead) {
    if (rulesDue && reading->result == DiskRead::kUnread && log_)
      log_("disk " + seen.readings.device + " (" + std::string(TrimBoth(drive.model)) + " " +
           drive.serial + ") could not be read after " + std::to_string(tries) +
           " attempts; no alert rule was checked");
    return seen;
  }
  const SmartSnapshot& smart = reading->snapshot;
  const bool ignored = IsSerialIgnored(ignoredSerials_, drive.serial);
  // The maker's disks keep an erase-count history; another disk with a valid endurance
  // indicator keeps the indicator's own kind of history.
  const bool endurance = HealthSourceOf(smart) == HealthSource::kEndurance;
  const bool history = view.active_rec != 0 && (series == 0 || endurance) && !ignored;
  // The window keeps the selected disk's start record; the monitor begins the others'.
  HistoryStart start = selected ? view.historyStart : HistoryStart{};
  const std::string folder = HistoryFolder(roots_.home, drive.model, drive.serial);
  if (endurance) {
    static_cast<void>(ReadHistoryStart(folder, &start));
  } else if (!selected && history) {
    std::string problem;
    start = LoadHistoryStart(folder, smart.attr167Raw, LocalDateOf(now), &problem);
    if (!problem.empty() && log_)
      log_(problem);
  } else if (!selected && series == 0) {
    static_cast<void>(ReadHistoryStart(folder, &start));
  }
  const std::int64_t days =
      start.avg_erase_count >= 0 || start.isEndurance() ? DaysSinceHistoryStart(start, now) : 0;
  // History, after a good read only: a failed read would record the last good snapshot.
  if (history)
    RecordHistory(drive, smart, now);
  TakeGoodRead(smart, drive.driveNumber, start, days, drives_.Volumes(),
               rulesDue ? &view.alert : nullptr, &seen);
  return seen;
}

void MonitorLoop::SendMails(const std::vector<WatchMail>& mails, const AlertSettings& settings,
                            std::stop_token stop) {
  // One after another: the mails share the mailer's result file.
  const std::string host = mails.empty() ? std::string() : MachineFqdn();
  for (const WatchMail& mail : mails) {
    DriveRecord drive;
    drive.model = mail.model;
    drive.serial = mail.serial;
    drive.firmware = mail.firmware;
    ++alertMails_;
    if (board_)
      board_->CountAlertMail();
    if (log_)
      log_("alert mail about " + mail.device + " handed to the mailer: " + mail.text);
    mail_.SendAlert(settings, drive, MailOrigin{mail.device, host}, mail.text, stop);
    if (alertExec_)
      alertExec_->Run(mail, settings, host, now_(), stop);
  }
}

void MonitorLoop::RunScheduledTest(WallClock::time_point now, const std::vector<DriveRecord>& kept,
                                   const PassReadings& readings,
                                   std::vector<DiskWatchState>& states) {
  if (!schedule_.shortTest && !schedule_.extendedTest)
    return;
  const std::time_t seconds = WallClock::to_time_t(now);
  std::vector<ScheduleDisk> disks;
  std::vector<std::pair<const DriveRecord*, DiskWatchState*>> owners;
  for (const DriveRecord& drive : kept) {
    const std::string key = DiskStateKey(drive.model, drive.serial);
    const auto state = std::find_if(states.begin(), states.end(), [&](const DiskWatchState& s) {
      return DiskStateKey(s.model, s.serial) == key;
    });
    if (state == states.end())
      continue;
    const auto reading = readings.find({drive.driveNumber, drive.serial});
    const SmartSnapshot* smart =
        reading != readings.end() && reading->second.result == DiskRead::kRead
            ? &reading->second.snapshot
            : nullptr;
    ScheduleDisk disk;
    // A disk not read this pass counts as testing while a test the monitor started may run.
    disk.running = smart ? smart->selfTestExecution.running()
                         : testEnds_.contains(key) && testEnds_[key] > seconds;
    disk.ready = smart && smart->selfTestCapability.supported &&
                 !IsSerialIgnored(ignoredSerials_, drive.serial) &&
                 !drives_.IsBusy(drive.driveNumber);
    disk.shortHandled = state->shortTestHandled;
    disk.extendedHandled = state->extendedTestHandled;
    disks.push_back(disk);
    owners.emplace_back(&drive, &*state);
  }
  const std::optional<ScheduledTest> test =
      PickScheduledTest(schedule_, disks, seconds, programStart_);
  if (!test)
    return;
  const auto [drive, state] = owners[test->disk];
  const SelfTestOutcome outcome = drives_.SelfTest(drive->driveNumber, drive->serial, test->kind);
  // By SelfTestResult: started, refused (due again at the next pass), failed (handled).
  static const char* const kNotes[] = {"", "not started, tried again at the next pass: ",
                                       "failed, tried again at its next scheduled time: "};
  if (log_) {
    log_(std::string("scheduled ") + (test->kind == SelfTestKind::kShort ? "short" : "extended") +
         " self-test of disk " + drives_.DiskKey(drive->driveNumber) + " (" +
         std::string(TrimBoth(drive->model)) + " " + drive->serial +
         "): " + kNotes[static_cast<int>(outcome.result)] + outcome.message);
  }
  if (outcome.result == SelfTestResult::kRefused)
    return;
  if (outcome.result == SelfTestResult::kStarted)
    testEnds_[DiskStateKey(drive->model, drive->serial)] =
        seconds + static_cast<std::time_t>(outcome.estimatedMinutes) * 60;
  state->shortTestHandled = test->shortDue != 0 ? test->shortDue : state->shortTestHandled;
  state->extendedTestHandled =
      test->extendedDue != 0 ? test->extendedDue : state->extendedTestHandled;
}

void MonitorLoop::CollectMetrics(WallClock::time_point now, const std::vector<DriveRecord>& kept,
                                 PassReadings& readings,
                                 const std::vector<DiskWatchState>& states) {
  if (board_ == nullptr)
    return;
  const std::vector<VolumeFacts> volumes = drives_.Volumes();
  const std::int64_t seconds = WallClock::to_time_t(now);
  const std::vector<DriveMetrics> previous = board_->Drives();
  std::vector<DriveMetrics> drives;
  for (const DriveRecord& drive : kept) {
    DriveMetrics metrics;
    for (const DriveMetrics& before : previous) {
      if (before.driveNumber == drive.driveNumber && before.serial == drive.serial)
        metrics = before;
    }
    metrics.driveNumber = drive.driveNumber;
    metrics.model = drive.model;
    metrics.serial = drive.serial;
    metrics.firmware = drive.firmware;
    metrics.identifyWords = drive.identifyWords;
    metrics.device = std::filesystem::path(drives_.DiskKey(drive.driveNumber)).filename();
    metrics.volumes.clear();
    for (const VolumeFacts& volume : volumes) {
      if (volume.driveNumber == drive.driveNumber)
        metrics.volumes.push_back(volume);
    }
    metrics.alertFiring.reset();
    metrics.alertSilenced.reset();
    for (const DiskWatchState& state : states) {
      if (state.watched &&
          DiskStateKey(state.model, state.serial) == DiskStateKey(drive.model, drive.serial)) {
        metrics.alertFiring = !state.firedText.empty();
        metrics.alertSilenced = state.alerted;
      }
    }
    metrics.lastAttempt = seconds;
    // Every kept disk was read (or left alone) by the pass.
    const auto shared = readings.find({drive.driveNumber, drive.serial});
    const DiskRead result = shared != readings.end() ? shared->second.result : DiskRead::kBusy;
    metrics.asleep = result == DiskRead::kAsleep;
    if (!metrics.asleep && result != DiskRead::kBusy)
      metrics.lastReadOk = result == DiskRead::kRead;
    if (result == DiskRead::kRead) {
      metrics.smart = shared->second.snapshot;
      metrics.everRead = true;
      metrics.lastSuccess = seconds;
    }
    const SmartSnapshot& s = metrics.smart;
    metrics.healthRatio.reset();
    metrics.lifespanRemainingSeconds.reset();
    if (metrics.everRead) {
      // The start record is read only for a disk whose figures can use it.
      HistoryStart start;
      const HealthSource source = HealthSourceOf(s);
      const bool started =
          source != HealthSource::kNone &&
          ReadHistoryStart(HistoryFolder(roots_.home, drive.model, drive.serial), &start) &&
          start.isEndurance() == (source == HealthSource::kEndurance);
      const DriveFigures figures =
          FiguresOf(s, started ? &start : nullptr, started ? DaysSinceHistoryStart(start, now) : 0);
      if (figures.healthPercent)
        metrics.healthRatio = *figures.healthPercent / 100.0;
      if (figures.lifespanDays)
        metrics.lifespanRemainingSeconds = *figures.lifespanDays * 86400;
    }
    drives.push_back(std::move(metrics));
  }
  board_->Publish(std::move(drives));
}

void MonitorLoop::RecordHistory(const DriveRecord& drive, const SmartSnapshot& smart,
                                WallClock::time_point now) {
  const CivilDate date = LocalDateOf(now);
  const std::string folder = HistoryFolder(roots_.home, drive.model, drive.serial);
  const std::uint64_t count = smart.attr167Raw;
  std::string problem;  // a history that cannot be written is told, never skipped in silence
  const auto tell = [&](bool recorded) {
    if (!recorded && log_)
      log_(problem);
  };
  if (HealthSourceOf(smart) == HealthSource::kEndurance) {
    const bool recorded = RecordEndurance(folder, date, *EnduranceIndicator(smart), &problem);
    if ((!recorded || !problem.empty()) && log_)
      log_(problem);  // a refusal, or the note on a start record kept aside
    return;
  }
  tell(RecordYear(folder, date.year, count, &problem));
  tell(RecordMonth(folder, date.year, date.month, count, &problem));
  tell(RecordDay(folder, date.year, date.month, date.day, count, &problem));
}

}  // namespace ds
