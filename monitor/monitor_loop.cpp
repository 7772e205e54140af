#include "monitor/monitor_loop.h"

#include <ctime>

#include "drive/drive_figures.h"
#include "drive/model_series.h"
#include "store/description_tables.h"
#include "store/history_folder.h"
#include "text/leading_integer.h"

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
                         MetricsBoard* board)
    : window_(window),
      drives_(drives),
      mail_(mail),
      roots_(std::move(roots)),
      timing_(timing),
      log_(std::move(log)),
      now_(std::move(now)),
      wait_(wait ? std::move(wait) : WaitOnStop),
      board_(board),
      lastReArm_(now_()) {}

bool MonitorLoop::Wait(std::chrono::milliseconds duration, const std::stop_token& stop) {
  return !stop.stop_requested() && wait_(duration, stop);
}

void MonitorLoop::Run(std::stop_token stop) {
  lastReArm_ = now_();
  alerted_ = false;
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
  const int refreshBy = LeadingInteger(view.alert.RefreshBy);
  PassReadings readings;

  // History, after a good read only: a failed read would record the last good snapshot,
  // which after a change of the selected disk is another disk's count.
  bool leftAlone = false;
  if (view.active_rec != 0 && view.drive && DetectModelSeries(view.drive->model) == 0) {
    const Reading& read = ReadAfresh(view, *view.drive, view.attributeTable, view.smart, readings);
    leftAlone = read.result == DiskRead::kAsleep || read.result == DiskRead::kBusy;
    if (read.result == DiskRead::kRead)
      RecordHistory(*view.drive, read.snapshot, now);
  }
  // A sleeping or busy disk is not woken or waited for by the alerts either: its rules wait
  // for a pass that finds it awake and free.
  if (view.alert.EnableAlert != 0 && !alerted_ && !leftAlone)
    CheckAlerts(stop, now, view, readings);

  CollectMetrics(now, view, readings);
  if (ReArmDue(lastReArm_, now, refreshBy, view.alert.RefreshByType)) {
    if (alerted_ && log_)
      log_("alerts are armed again");
    alerted_ = false;
    lastReArm_ = now;
  }
  ++passes_;
  if (board_)
    board_->CountPass();
}

void MonitorLoop::CollectMetrics(WallClock::time_point now, const MonitorView& view,
                                 PassReadings& readings) {
  if (board_ == nullptr)
    return;
  const std::int64_t seconds = WallClock::to_time_t(now);
  const std::vector<DriveMetrics> previous = board_->Drives();
  std::map<int, AttributeTable> tables;  // by series, for this pass
  std::vector<DriveMetrics> drives;
  for (const DriveRecord& drive : view.drives) {
    DriveMetrics metrics;
    for (const DriveMetrics& before : previous) {
      if (before.driveNumber == drive.driveNumber && before.serial == drive.serial)
        metrics = before;
    }
    metrics.driveNumber = drive.driveNumber;
    metrics.model = drive.model;
    metrics.serial = drive.serial;
    metrics.lastAttempt = seconds;
    const auto shared = readings.find({drive.driveNumber, drive.serial});
    const Reading* reading = shared != readings.end() ? &shared->second : nullptr;
    if (reading == nullptr) {
      const int series = DetectModelSeries(drive.model);
      if (!tables.contains(series))  // a missing file was told at start-up
        static_cast<void>(LoadAttributeTable(tables[series], roots_.install, series));
      reading = &ReadAfresh(view, drive, tables[series], metrics.smart, readings);
    }
    const DiskRead result = reading->result;
    metrics.asleep = result == DiskRead::kAsleep;
    if (!metrics.asleep && result != DiskRead::kBusy)
      metrics.lastReadOk = result == DiskRead::kRead;
    if (result == DiskRead::kRead) {
      metrics.smart = reading->snapshot;
      metrics.everRead = true;
      metrics.lastSuccess = seconds;
    }
    const SmartSnapshot& s = metrics.smart;
    metrics.healthRatio.reset();
    metrics.lifespanRemainingSeconds.reset();
    if (metrics.everRead) {
      // The start record is read only for a disk whose figures can use it.
      HistoryStart start;
      const bool started =
          s.modelSeries == 0 && s.peCycleLimit > 0 &&
          ReadHistoryStart(HistoryFolder(roots_.home, drive.model, drive.serial), &start);
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
  tell(RecordYear(folder, date.year, count, &problem));
  tell(RecordMonth(folder, date.year, date.month, count, &problem));
  tell(RecordDay(folder, date.year, date.month, date.day, count, &problem));
}

void MonitorLoop::CheckAlerts(std::stop_token stop, WallClock::time_point now,
                              const MonitorView& view, PassReadings& readings) {
  if (!view.drive)
    return;
  const DriveRecord& drive = *view.drive;
  // The first attempt takes this pass's reading when there is one; the retries read again.
  const auto shared = readings.find({drive.driveNumber, drive.serial});
  const Reading* reading = shared != readings.end() ? &shared->second : nullptr;
  for (int attempt = 1; attempt <= timing_.readAttempts; ++attempt) {
    if (attempt > 1 && !Wait(timing_.retryGap(), stop))
      return;
    if (reading == nullptr || attempt > 1) {
      const SmartSnapshot& previous = reading ? reading->snapshot : view.smart;
      reading = &ReadAfresh(view, drive, view.attributeTable, previous, readings);
    }
    if (reading->result != DiskRead::kUnread)
      break;
  }
  if (reading->result == DiskRead::kAsleep || reading->result == DiskRead::kBusy)
    return;
  if (reading->result != DiskRead::kRead) {
    if (log_)
      log_("the selected disk could not be read after " + std::to_string(timing_.readAttempts) +
           " attempts; no alert rule was checked");
    return;
  }
  const SmartSnapshot& smart = reading->snapshot;
  AlertInputs inputs;
  inputs.settings = view.alert;
  inputs.temperatureCelsius = smart.temperature;
  inputs.eraseCount = smart.attr167Raw;
  inputs.peCycleLimit = smart.peCycleLimit;
  inputs.modelSeries = smart.modelSeries;
  for (const VolumeFacts& volume : drives_.Volumes()) {
    if (volume.driveNumber == drive.driveNumber)
      inputs.volumes.push_back({volume.mountPoint, volume.freeBytes, volume.totalBytes});
  }
  inputs.startEraseCount = view.historyStart.avg_erase_count;
  inputs.daysSinceStart = DaysSinceHistoryStart(view.historyStart, now);
  const std::vector<std::string> fired = FiredAlerts(inputs);
  if (fired.empty())
    return;
  alerted_ = true;
  ++alertMails_;
  if (board_)
    board_->CountAlertMail();
  if (log_)
    log_("alert mail handed to the mailer: " + fired.back());
  mail_.SendAlert(view.alert, drive, fired.back(), stop);
}

}  // namespace ds
