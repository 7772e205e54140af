#include "monitor/metrics_board.h"

#include <functional>

#include "monitor/exposition_text.h"
#include "monitor/smartctl_series.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

// A disk's labels: its number, its kernel name where known, model and serial.
std::string DriveLabels(const DriveMetrics& drive) {
  return Label("drive", std::to_string(drive.driveNumber)) + "," +
         (drive.device.empty() ? "" : Label("device", drive.device) + ",") +
         Label("model", TrimBoth(drive.model)) + "," + Label("serial", TrimBoth(drive.serial));
}

}  // namespace

void MetricsBoard::Publish(std::vector<DriveMetrics> drives) {
  std::lock_guard<std::mutex> lock(mutex_);
  drives_ = std::move(drives);
}

std::vector<DriveMetrics> MetricsBoard::Drives() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return drives_;
}

void MetricsBoard::CountPass() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++passes_;
}

void MetricsBoard::CountAlertMail() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++alertMails_;
}

std::string MetricsBoard::PrometheusText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string out;
  Family(&out, "drivesentinel_info", "gauge", "The running program's version.")
      .Sample("version=\"" + LabelValue(version_) + "\"", "1");
  Family(&out, "drivesentinel_monitor_passes_total", "counter", "Monitor passes since start.")
      .Sample("", std::to_string(passes_));
  Family(&out, "drivesentinel_alert_mails_total", "counter",
         "Alert mails handed to the mail program since start.")
      .Sample("", std::to_string(alertMails_));

  // Families over every disk; `value` gives nothing to leave a disk out.
  using Value = std::function<std::optional<std::string>(const DriveMetrics&)>;
  auto perDrive = [&](const char* name, const char* type, const char* help, const Value& value) {
    Family family(&out, name, type, help);
    for (const DriveMetrics& drive : drives_) {
      if (std::optional<std::string> text = value(drive))
        family.Sample(DriveLabels(drive), *text);
    }
  };
  auto read = [](auto field) {
    return [field](const DriveMetrics& d) -> std::optional<std::string> {
      if (!d.everRead)
        return std::nullopt;
      return field(d);
    };
  };
  perDrive("drivesentinel_drive_read_success", "gauge",
           "1 when the last read of the disk succeeded, else 0.", [](const DriveMetrics& d) {
             return std::optional<std::string>(d.lastReadOk ? "1" : "0");
           });
  perDrive("drivesentinel_drive_asleep", "gauge",
           "1 when the last pass found the disk spun down and left it asleep.",
           [](const DriveMetrics& d) { return std::optional<std::string>(d.asleep ? "1" : "0"); });
  perDrive("drivesentinel_drive_last_read_timestamp_seconds", "gauge",
           "When the disk was last tried (unix time).", [](const DriveMetrics& d) {
             return d.lastAttempt ? std::optional<std::string>(std::to_string(d.lastAttempt))
                                  : std::nullopt;
           });
  perDrive("drivesentinel_drive_last_success_timestamp_seconds", "gauge",
           "When the disk was last read (unix time).", [](const DriveMetrics& d) {
             return d.lastSuccess ? std::optional<std::string>(std::to_string(d.lastSuccess))
                                  : std::nullopt;
           });
  perDrive("drivesentinel_drive_temperature_celsius", "gauge", "Temperature (attribute 194).",
           read([](const DriveMetrics& d) { return std::to_string(d.smart.temperature); }));
  perDrive("drivesentinel_drive_health_ratio", "gauge",
           "Health, 0 to 1: the maker's disks' average erase count against the rated cycles, "
           "another SSD's endurance indicator.",
           [](const DriveMetrics& d) {
             return d.healthRatio ? std::optional<std::string>(SampleNumber(*d.healthRatio))
                                  : std::nullopt;
           });
  perDrive("drivesentinel_drive_lifespan_remaining_seconds", "gauge",
           "Time until the erase count reaches the rated cycles (another SSD: the endurance "
           "indicator 100) at its growth since the history began; absent when unknown.",
           [](const DriveMetrics& d) {
             return d.lifespanRemainingSeconds
                        ? std::optional<std::string>(std::to_string(*d.lifespanRemainingSeconds))
                        : std::nullopt;
           });
  perDrive("drivesentinel_drive_erase_count_average", "gauge",
           "Average erase count (attribute 167).",
           read([](const DriveMetrics& d) { return std::to_string(d.smart.attr167Raw); }));
  perDrive("drivesentinel_drive_rated_erase_cycles", "gauge",
           "Rated program/erase cycles (attribute 168 or the configured default).",
           read([](const DriveMetrics& d) { return std::to_string(d.smart.peCycleLimit); }));
  perDrive("drivesentinel_drive_power_on_seconds", "gauge", "Power-on time (attribute 9).",
           read([](const DriveMetrics& d) { return std::to_string(d.smart.powerOnHours * 3600); }));
  perDrive("drivesentinel_drive_power_cycles_total", "counter", "Power cycles (attribute 12).",
           read([](const DriveMetrics& d) { return std::to_string(d.smart.powerCycles); }));
  perDrive("drivesentinel_drive_reallocated_sectors", "gauge",
           "Reallocated sectors (attribute 5 raw).",
           read([](const DriveMetrics& d) { return std::to_string(d.smart.reallocatedRaw); }));

  perDrive(
      "drivesentinel_drive_selftest_state", "gauge",
      "How the last self-test ended (SMART data byte 363, high nibble): 0 without error, "
      "1 aborted, 2 interrupted, 3-8 failed, 15 running.",
      read([](const DriveMetrics& d) { return std::to_string(d.smart.selfTestExecution.state); }));

  perDrive("drivesentinel_drive_alert_firing", "gauge",
           "1 when an alert rule fired at the disk's last good read; absent when the disk is "
           "not watched.",
           [](const DriveMetrics& d) {
             return d.alertFiring ? std::optional<std::string>(*d.alertFiring ? "1" : "0")
                                  : std::nullopt;
           });
  perDrive("drivesentinel_drive_alert_silenced", "gauge",
           "1 when an alert mail about the disk went out and it is silent until re-armed; "
           "absent when the disk is not watched.",
           [](const DriveMetrics& d) {
             return d.alertSilenced ? std::optional<std::string>(*d.alertSilenced ? "1" : "0")
                                    : std::nullopt;
           });
  for (const auto& [name, help, field] :
       {std::tuple{"drivesentinel_volume_free_bytes", "Space free for users on a mounted volume.",
                   &VolumeFacts::freeBytes},
        std::tuple{"drivesentinel_volume_size_bytes", "Size of a mounted volume.",
                   &VolumeFacts::totalBytes}}) {
    Family family(&out, name, "gauge", help);
    for (const DriveMetrics& drive : drives_) {
      for (const VolumeFacts& volume : drive.volumes) {
        if (volume.totalBytes != 0)
          family.Sample(DriveLabels(drive) + "," + Label("mountpoint", volume.mountPoint),
                        std::to_string(volume.*field));
      }
    }
  }

  struct AttributeFamily {
    const char* name;
    const char* help;
    std::uint64_t SmartAttribute::*field;
  };
  const AttributeFamily attributeFamilies[] = {
      {"drivesentinel_drive_attribute_value", "Normalised value of a S.M.A.R.T. attribute.",
       &SmartAttribute::current},
      {"drivesentinel_drive_attribute_worst", "Worst normalised value of a S.M.A.R.T. attribute.",
       &SmartAttribute::worst},
      {"drivesentinel_drive_attribute_threshold", "Threshold of a S.M.A.R.T. attribute.",
       &SmartAttribute::threshold},
      {"drivesentinel_drive_attribute_raw", "Raw value of a S.M.A.R.T. attribute.",
       &SmartAttribute::raw},
  };
  for (const AttributeFamily& kind : attributeFamilies) {
    Family family(&out, kind.name, "gauge", kind.help);
    for (const DriveMetrics& drive : drives_) {
      if (!drive.everRead)
        continue;
      for (const SmartAttribute& attribute : drive.smart.attributes) {
        family.Sample(DriveLabels(drive) + ",id=\"" + std::to_string(attribute.id) + "\",name=\"" +
                          LabelValue(attribute.name) + "\"",
                      std::to_string(attribute.*kind.field));
      }
    }
  }
  AppendSmartctlSeries(drives_, &out);
  return out;
}

}  // namespace ds
