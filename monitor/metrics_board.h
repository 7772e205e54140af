#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "drive/drive_record.h"
#include "platform/disk_system.h"

// The monitor's last readings of every kept disk, for the Prometheus exporter: the monitor
// publishes after each pass, a scrape formats what was published and never touches a disk,
// so a hung disk cannot hang a scrape.
namespace ds {

struct DriveMetrics {
  int driveNumber = -1;
  std::string device;  // the kernel's name of the disk ("sda"); "" when unknown
  std::string model;
  std::string serial;
  std::string firmware;
  IdentifyWords identifyWords{};  // as the enumeration read them
  bool everRead = false;          // `smart` holds a reading
  SmartSnapshot smart;            // of the last good read
  bool lastReadOk = false;        // the last attempt read the disk
  bool asleep = false;            // the last pass found it spun down and left it so
  std::int64_t lastAttempt = 0;   // unix seconds, 0: never
  std::int64_t lastSuccess = 0;
  std::optional<double> healthRatio;                     // the maker's series with a limit
  std::optional<std::int64_t> lifespanRemainingSeconds;  // when a growth rate is known
  std::vector<VolumeFacts> volumes;                      // its mounted file systems
  // The alert state of a watched disk (missing when alerts are off or it is ignored): a rule
  // fired at its last good read; an alert mail went out and the disk is silent until re-armed.
  std::optional<bool> alertFiring;
  std::optional<bool> alertSilenced;
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
