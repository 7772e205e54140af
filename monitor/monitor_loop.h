#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "drive/message_sink.h"
#include "monitor/alert_exec.h"
#include "monitor/disk_watch.h"
#include "monitor/mail_channel.h"
#include "monitor/metrics_board.h"
#include "monitor/monitor_window.h"
#include "monitor/rearm_period.h"
#include "platform/program_roots.h"
#include "store/selftest_schedule.h"
#include "store/system_config.h"

// The monitor: left running, every period (ten minutes) it takes in the latest settings,
// enumerates the disks afresh and watches every kept one: records its erase-count history,
// checks the five alert rules with its own figures and mails one alert about it when a rule
// fires, then leaves that disk silent until its re-arm period is over; a disk missing for
// two passes is mailed about once. Each disk's re-arm state lives in its state file
// (store/disk_watch_state.h), so a restart does not mail again and `status --reset-alerts`
// is seen at the next pass. The disks are read through the drive service, never woken; within
// one pass a disk is read once for the history, the alert rules and the metrics together
// (only the retries of an unreadable disk read again). It stops promptly when asked, also
// inside a wait or the read retries. With the alerts it mails the changes of a disk's
// counters (counter_watch.h) in the same mail; after the reads it starts the scheduled
// self-tests of the system configuration (selftest_runner.h) and logs what it started or why
// not; the due times handled are kept in the disks' state files.
namespace ds {

struct MonitorTiming {
  // One pass every `period`; the first pass waits period / 200 (3 s of ten minutes), and a
  // disk whose rules are due but that cannot be read is tried `readAttempts` times that far
  // apart when it is the only kept disk, `readAttemptsEach` times (a read and three retries)
  // when there are several, so one dead disk does not stall the others' pass.
  std::chrono::milliseconds period{600000};
  int readAttempts = 100;
  int readAttemptsEach = 4;
  std::chrono::milliseconds firstWait() const { return period / 200; }
  std::chrono::milliseconds retryGap() const { return period / 200; }
};

class MonitorLoop {
 public:
  // Waits `duration` or until `stop`; false when it was stopped.
  using Waiter = std::function<bool(std::chrono::milliseconds, std::stop_token)>;

  // History folders lie below the home's data/, description tables in the install folder.
  // Everything passed in outlives the loop. With a `board`, every pass also publishes every
  // kept disk's metrics. Disks with a serial in the system configuration's Ignore_Serial get
  // no history, no alert, no mail and no scheduled self-test; its schedule and its switches
  // of the alerts on change count. The program's start, for the catch-up of a missed
  // self-test, is the loop's construction.
  MonitorLoop(MonitorWindow& window, DriveService& drives, MailChannel& mail, ProgramRoots roots,
              MonitorTiming timing, MessageSink log,
              std::function<WallClock::time_point()> now = WallClock::now, Waiter wait = {},
              MetricsBoard* board = nullptr, const SystemConfig& config = {});

  // The thread body: runs passes until `stop` is requested.
  void Run(std::stop_token stop);

  // One pass at `now` (the body of Run, for the loop and for tests).
  void Pass(std::stop_token stop);

  // The alert hook run after every alert mail; it outlives the loop.
  void SetAlertExec(AlertExec* hook) { alertExec_ = hook; }

  std::uint64_t passes() const { return passes_.load(); }
  std::uint64_t alertMails() const { return alertMails_.load(); }

 private:
  // One disk's reading in a pass.
  struct Reading {
    DiskRead result = DiskRead::kUnread;
    SmartSnapshot snapshot;
  };
  // The readings of one pass, by drive number and serial.
  using PassReadings = std::map<std::pair<int, std::string>, Reading>;

  bool Wait(std::chrono::milliseconds duration, const std::stop_token& stop);
  // Reads `drive` afresh, starting from `previous`; the selected disk's reading goes to the
  // window. The result is kept in `readings` for the rest of the pass.
  const Reading& ReadAfresh(const MonitorView& view, const DriveRecord& drive,
                            const AttributeTable& table, const SmartSnapshot& previous,
                            PassReadings& readings);
  // Reads one kept disk (retrying when its rules are due), records its history and checks
  // its rules: what the pass decision needs of it. Nothing when stopped.
  std::optional<SeenDisk> WatchDisk(std::stop_token stop, WallClock::time_point now,
                                    const MonitorView& view, const DriveRecord& drive,
                                    bool rulesDue, int attempts, PassReadings& readings);
  void RecordHistory(const DriveRecord& drive, const SmartSnapshot& smart,
                     WallClock::time_point now);
  void SendMails(const std::vector<WatchMail>& mails, const AlertSettings& settings,
                 std::stop_token stop);
  void CollectMetrics(WallClock::time_point now, const std::vector<DriveRecord>& kept,
                      PassReadings& readings, const std::vector<DiskWatchState>& states);
  // Starts the one scheduled self-test that is due, if any, recording it in `states`.
  void RunScheduledTest(WallClock::time_point now, const std::vector<DriveRecord>& kept,
                        const PassReadings& readings, std::vector<DiskWatchState>& states);

  MonitorWindow& window_;
  DriveService& drives_;
  MailChannel& mail_;
  const ProgramRoots roots_;
  const MonitorTiming timing_;
  const MessageSink log_;
  const std::function<WallClock::time_point()> now_;
  Waiter wait_;
  MetricsBoard* const board_;
  const std::vector<std::string> ignoredSerials_;
  const ChangeAlertSwitches changeAlerts_;
  SelfTestSchedule schedule_;
  const std::time_t programStart_;
  std::map<std::string, std::time_t> testEnds_;  // by state key: the estimated end of a test
  std::map<int, AttributeTable> tables_;  // by series: loaded once, missing files told at start
  std::atomic<std::uint64_t> passes_{0};
  std::atomic<std::uint64_t> alertMails_{0};
  AlertExec* alertExec_ = nullptr;
};

}  // namespace ds
