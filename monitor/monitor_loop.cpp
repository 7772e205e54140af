#include "monitor/monitor_loop.h"

#include <ctime>

#include "drive/drive_figures.h"
#include "drive/model_series.h"
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

MonitorLoop::MonitorLoop(MonitorWindow& window, MailChannel& mail, std::string home,
                         MonitorTiming timing, MessageSink log,
                         std::function<WallClock::time_point()> now, Waiter wait,
                         MetricsBoard* board)
    : window_(window),
      mail_(mail),
      home_(std::move(home)),
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

void MonitorLoop::Pass(std::stop_token stop) {
  window_.ReloadAlertSettings();
  const WallClock::time_point now = now_();
  window_.TakeInPageInputs();
  MonitorView view = window_.View();
  const int refreshBy = LeadingInteger(view.alert.RefreshBy);

  // History, after a good read only: a failed read would record the last good snapshot,
  // which after a change of the selected disk is another disk's count.
  bool asleep = false;
  if (view.active_rec != 0 && view.drive && DetectModelSeries(view.drive->model) == 0) {
    const DiskRead read = window_.ReadSelectedDrive();
    asleep = read == DiskRead::kAsleep;
    if (read == DiskRead::kRead)
      RecordHistory(window_.View(), now);
  }
  // A sleeping disk is not woken for the alerts either: its rules wait for a pass that finds
  // it awake.
  if (view.alert.EnableAlert != 0 && !alerted_ && !asleep)
    CheckAlerts(stop, now);

  CollectMetrics(now);
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

void MonitorLoop::CollectMetrics(WallClock::time_point now) {
  if (board_ == nullptr)
    return;
  const std::int64_t seconds = WallClock::to_time_t(now);
  const std::vector<DriveMetrics> previous = board_->Drives();
  std::vector<DriveMetrics> drives;
  for (const DriveRecord& drive : window_.KeptDrives()) {
    DriveMetrics metrics;
    for (const DriveMetrics& before : previous) {
      if (before.driveNumber == drive.driveNumber && before.serial == drive.serial)
        metrics = before;
    }
    metrics.driveNumber = drive.driveNumber;
    metrics.model = drive.model;
    metrics.serial = drive.serial;
    metrics.lastAttempt = seconds;
    SmartSnapshot snapshot = metrics.smart;
    const DiskRead result = window_.ReadForMetrics(drive, &snapshot);
    metrics.asleep = result == DiskRead::kAsleep;
    if (!metrics.asleep)
      metrics.lastReadOk = result == DiskRead::kRead;
    if (result == DiskRead::kRead) {
      metrics.smart = std::move(snapshot);
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
          ReadHistoryStart(HistoryFolder(home_, drive.model, drive.serial), &start);
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

void MonitorLoop::RecordHistory(const MonitorView& view, WallClock::time_point now) {
  if (!view.drive)
    return;
  const CivilDate date = LocalDateOf(now);
  const std::string folder = HistoryFolder(home_, view.drive->model, view.drive->serial);
  const std::uint64_t count = view.smart.attr167Raw;
  std::string problem;  // a history that cannot be written is told, never skipped in silence
  const auto tell = [&](bool recorded) {
    if (!recorded && log_)
      log_(problem);
  };
  tell(RecordYear(folder, date.year, count, &problem));
  tell(RecordMonth(folder, date.year, date.month, count, &problem));
  tell(RecordDay(folder, date.year, date.month, date.day, count, &problem));
}

void MonitorLoop::CheckAlerts(std::stop_token stop, WallClock::time_point now) {
  bool read = false;
  for (int attempt = 1; attempt <= timing_.readAttempts && !read; ++attempt) {
    const DiskRead result = window_.ReadSelectedDrive();
    if (result == DiskRead::kAsleep)
      return;
    read = result == DiskRead::kRead;
    if (!read && attempt < timing_.readAttempts && !Wait(timing_.retryGap(), stop))
      return;
  }
  const MonitorView view = window_.View();
  if (!read || !view.drive) {
    if (log_)
      log_("the selected disk could not be read after " + std::to_string(timing_.readAttempts) +
           " attempts; no alert rule was checked");
    return;
  }
  AlertInputs inputs;
  inputs.settings = view.alert;
  inputs.temperatureCelsius = view.smart.temperature;
  inputs.eraseCount = view.smart.attr167Raw;
  inputs.peCycleLimit = view.smart.peCycleLimit;
  inputs.modelSeries = view.smart.modelSeries;
  inputs.volumes = window_.Volumes(view.drive->driveNumber);
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
  mail_.SendAlert(view.alert, *view.drive, fired.back(), stop);
}

}  // namespace ds
