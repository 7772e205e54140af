#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "drive/ata_log_reader.h"
#include "platform/ata_device.h"

// The Device Statistics log (log 04h): page 0 lists the pages the disk keeps; each other
// page starts with a header (revision in bytes 0-1, page number in byte 2) and holds 8-byte
// little-endian statistics whose top byte carries flags (bit 63 supported, 62 valid,
// 61 normalised, 60 DSN supported, 59 monitored condition met). The statistics shown are
// those of the general page (1), the temperature page (5) and the solid-state page (7).
namespace ds {

inline constexpr std::uint8_t kDeviceStatisticsLog = 0x04;

enum class DeviceStatisticId : std::uint8_t {
  kPowerOnHours,
  kLogicalSectorsWritten,
  kLogicalSectorsRead,
  kCurrentTemperature,
  kHighestTemperature,
  kLowestTemperature,
  kPercentageUsed,  // Percentage Used Endurance Indicator; may exceed 100
};

// One statistic the disk marks supported and valid.
struct DeviceStatistic {
  DeviceStatisticId id = DeviceStatisticId::kPowerOnHours;
  std::int64_t value = 0;  // temperatures are signed degrees Celsius
  bool normalized = false;
  bool conditionMet = false;  // the monitored condition is met
  bool operator==(const DeviceStatistic&) const = default;
};

// The decoded log: the supported and valid statistics in log order, and why a page was
// left out.
struct DeviceStatistics {
  std::vector<DeviceStatistic> values;
  std::vector<std::string> problems;
  std::optional<std::int64_t> Value(DeviceStatisticId id) const;
};

// "Power-on hours", "Percentage used endurance indicator", ...
const char* DeviceStatisticName(DeviceStatisticId id);
// The JSON key: "powerOnHours", "percentageUsed", ...
const char* DeviceStatisticKey(DeviceStatisticId id);
// The value with its unit: "1234", "-5 C", "107 %".
std::string DeviceStatisticText(const DeviceStatistic& statistic);

// Decodes pages 0..n-1 of the log laid end to end. A page that page 0 does not list, that
// was not read, or whose header is wrong is left out with a problem; a bad page 0 leaves
// out everything.
DeviceStatistics DecodeDeviceStatistics(std::span<const std::uint8_t> log);

// Reads the pages up to the solid-state page that `directory` says the log holds, in one
// command, and decodes them. False with `message` set when the log is not listed or the
// read fails.
bool ReadDeviceStatistics(AtaDevice& device, const IdentifyWords& identifyWords,
                          const LogDirectory& directory, DeviceStatistics* statistics,
                          std::string* message);

}  // namespace ds
