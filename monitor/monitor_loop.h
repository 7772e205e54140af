#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <stop_token>
#include <string>

#include "drive/message_sink.h"
#include "monitor/mail_channel.h"
#include "monitor/metrics_board.h"
#include "monitor/monitor_window.h"
#include "monitor/rearm_period.h"
#include "platform/program_roots.h"

// The monitor: left running, it takes in the latest settings, records the selected disk's
// erase-count history and checks the five alert rules every period (ten minutes), mailing
// one alert when a rule fires and then staying silent until the re-arm period is over. It
// reads the disks itself through the drive service; within one pass a disk is read once
// for the history, the alert rules and the metrics together (only the alert step's retries
// read again). It stops promptly when asked, also inside a wait or the read retries.
namespace ds {

struct MonitorTiming {
  // One pass every `period`; the first pass waits period / 200 (3 s of ten minutes), and a
  // disk that cannot be read is tried `readAttempts` times that far apart.
  std::chrono::milliseconds period{600000};
  int readAttempts = 100;
  std::chrono::milliseconds firstWait() const { return period / 200; }
  std::chrono::milliseconds retryGap() const { return period / 200; }
};

class MonitorLoop {
 public:
  // Waits `duration` or until `stop`; false when it was stopped.
  using Waiter = std::function<bool(std::chrono::milliseconds, std::stop_token)>;

  // History folders lie below the home's data/, description tables in the install folder.
  // Everything passed in outlives the loop. With a `board`, every pass also reads every
  // kept disk for the metrics.
  MonitorLoop(MonitorWindow& window, DriveService& drives, MailChannel& mail, ProgramRoots roots,
              MonitorTiming timing, MessageSink log,
              std::function<WallClock::time_point()> now = WallClock::now, Waiter wait = {},
              MetricsBoard* board = nullptr);

  // The thread body: runs passes until `stop` is requested.
  void Run(std::stop_token stop);

  // One pass at `now` (the body of Run, for the loop and for tests).
  void Pass(std::stop_token stop);

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
  void RecordHistory(const DriveRecord& drive, const SmartSnapshot& smart,
                     WallClock::time_point now);
  void CheckAlerts(std::stop_token stop, WallClock::time_point now, const MonitorView& view,
                   PassReadings& readings);
  void CollectMetrics(WallClock::time_point now, const MonitorView& view, PassReadings& readings);

  MonitorWindow& window_;
  DriveService& drives_;
  MailChannel& mail_;
  const ProgramRoots roots_;
  const MonitorTiming timing_;
  const MessageSink log_;
  const std::function<WallClock::time_point()> now_;
  Waiter wait_;
  MetricsBoard* const board_;
  // The loop's own state.
  WallClock::time_point lastReArm_{};
  bool alerted_ = false;
  std::atomic<std::uint64_t> passes_{0};
  std::atomic<std::uint64_t> alertMails_{0};
};

}  // namespace ds
