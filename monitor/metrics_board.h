#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "drive/drive_record.h"

// The monitor's last readings of every kept disk, for the Prometheus exporter: the monitor
// publishes after each pass, a scrape formats what was published and never touches a disk,
// so a hung disk cannot hang a scrape.
namespace ds {

struct DriveMetrics {
  int driveNumber = -1;
  std::string model;
  std::string serial;
  bool everRead = false;         // `smart` holds a reading
  SmartSnapshot smart;           // of the last good read
  bool lastReadOk = false;       // the last attempt read the disk
  bool asleep = false;           // the last pass found it spun down and left it so
  std::int64_t lastAttempt = 0;  // unix seconds, 0: never
  std::int64_t lastSuccess = 0;
  std::optional<double> healthRatio;                     // the maker's series with a limit
  std::optional<std::int64_t> lifespanRemainingSeconds;  // when a growth rate is known
};

class MetricsBoard {
 public:
  explicit MetricsBoard(std::string version) : version_(std::move(version)) {}

  // Replaces the readings of every disk with those of the last pass.
  void Publish(std::vector<DriveMetrics> drives);
  // The readings published last (the monitor starts each pass from them).
  std::vector<DriveMetrics> Drives() const;
  void CountPass();
  void CountAlertMail();

  // Everything in the Prometheus text exposition format (version 0.0.4).
  std::string PrometheusText() const;

 private:
  const std::string version_;
  mutable std::mutex mutex_;
  std::vector<DriveMetrics> drives_;
  std::uint64_t passes_ = 0;
  std::uint64_t alertMails_ = 0;
};

}  // namespace ds
