#include "monitor/smartctl_series.h"

#include <algorithm>
#include <functional>

#include "monitor/exposition_text.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

constexpr const char* kUnknown = "unknown";

enum class Media : std::uint8_t { kAny, kHardDisk, kSolidState };

struct AttributeName {
  std::uint8_t id;
  const char* name;
  Media media;
};

// smartctl's default attribute names (those it prints for a disk its drive database does not
// name otherwise), by id.
constexpr AttributeName kAttributeNames[] = {
    {1, "Raw_Read_Error_Rate", Media::kAny},
    {2, "Throughput_Performance", Media::kAny},
    {3, "Spin_Up_Time", Media::kAny},
    {4, "Start_Stop_Count", Media::kAny},
    {5, "Reallocated_Sector_Ct", Media::kAny},
    {6, "Read_Channel_Margin", Media::kHardDisk},
    {7, "Seek_Error_Rate", Media::kHardDisk},
    {8, "Seek_Time_Performance", Media::kHardDisk},
    {9, "Power_On_Hours", Media::kAny},
    {10, "Spin_Retry_Count", Media::kHardDisk},
    {11, "Calibration_Retry_Count", Media::kHardDisk},
    {12, "Power_Cycle_Count", Media::kAny},
    {13, "Read_Soft_Error_Rate", Media::kAny},
    {175, "Program_Fail_Count_Chip", Media::kSolidState},
    {176, "Erase_Fail_Count_Chip", Media::kSolidState},
    {177, "Wear_Leveling_Count", Media::kSolidState},
    {178, "Used_Rsvd_Blk_Cnt_Chip", Media::kSolidState},
    {179, "Used_Rsvd_Blk_Cnt_Tot", Media::kSolidState},
    {180, "Unused_Rsvd_Blk_Cnt_Tot", Media::kSolidState},
    {181, "Program_Fail_Cnt_Total", Media::kAny},
    {182, "Erase_Fail_Count_Total", Media::kSolidState},
    {183, "Runtime_Bad_Block", Media::kAny},
    {184, "End-to-End_Error", Media::kAny},
    {187, "Reported_Uncorrect", Media::kAny},
    {188, "Command_Timeout", Media::kAny},
    {189, "High_Fly_Writes", Media::kHardDisk},
    {190, "Airflow_Temperature_Cel", Media::kAny},
    {191, "G-Sense_Error_Rate", Media::kHardDisk},
    {192, "Power-Off_Retract_Count", Media::kAny},
    {193, "Load_Cycle_Count", Media::kHardDisk},
    {194, "Temperature_Celsius", Media::kAny},
    {195, "Hardware_ECC_Recovered", Media::kAny},
    {196, "Reallocated_Event_Count", Media::kAny},
    {197, "Current_Pending_Sector", Media::kAny},
    {198, "Offline_Uncorrectable", Media::kAny},
    {199, "UDMA_CRC_Error_Count", Media::kAny},
    {200, "Multi_Zone_Error_Rate", Media::kHardDisk},
    {201, "Soft_Read_Error_Rate", Media::kHardDisk},
    {202, "Data_Address_Mark_Errs", Media::kHardDisk},
    {203, "Run_Out_Cancel", Media::kAny},
    {204, "Soft_ECC_Correction", Media::kAny},
    {205, "Thermal_Asperity_Rate", Media::kAny},
    {206, "Flying_Height", Media::kHardDisk},
    {207, "Spin_High_Current", Media::kHardDisk},
    {208, "Spin_Buzz", Media::kHardDisk},
    {209, "Offline_Seek_Performnce", Media::kHardDisk},
    {220, "Disk_Shift", Media::kHardDisk},
    {221, "G-Sense_Error_Rate", Media::kHardDisk},
    {222, "Loaded_Hours", Media::kHardDisk},
    {223, "Load_Retry_Count", Media::kHardDisk},
    {224, "Load_Friction", Media::kHardDisk},
    {225, "Load_Cycle_Count", Media::kHardDisk},
    {226, "Load-in_Time", Media::kHardDisk},
    {227, "Torq-amp_Count", Media::kHardDisk},
    {228, "Power-off_Retract_Count", Media::kAny},
    {230, "Head_Amplitude", Media::kHardDisk},
    {231, "Temperature_Celsius", Media::kHardDisk},
    {232, "Available_Reservd_Space", Media::kAny},
    {233, "Media_Wearout_Indicator", Media::kSolidState},
    {240, "Head_Flying_Hours", Media::kHardDisk},
    {241, "Total_LBAs_Written", Media::kAny},
    {242, "Total_LBAs_Read", Media::kAny},
    {250, "Read_Error_Retry_Rate", Media::kAny},
    {254, "Free_Fall_Sensor", Media::kHardDisk},
};

// The statistics we read as smartctl names them: the page's name, then the statistic's.
struct StatisticName {
  DeviceStatisticId id;
  const char* table;
  const char* name;
};
constexpr StatisticName kStatisticNames[] = {
    {DeviceStatisticId::kPowerOnHours, "General Statistics", "Power-on Hours"},
    {DeviceStatisticId::kLogicalSectorsWritten, "General Statistics", "Logical Sectors Written"},
    {DeviceStatisticId::kLogicalSectorsRead, "General Statistics", "Logical Sectors Read"},
    {DeviceStatisticId::kCurrentTemperature, "Temperature Statistics", "Current Temperature"},
    {DeviceStatisticId::kHighestTemperature, "Temperature Statistics", "Highest Temperature"},
    {DeviceStatisticId::kLowestTemperature, "Temperature Statistics", "Lowest Temperature"},
    {DeviceStatisticId::kPercentageUsed, "Solid State Device Statistics",
     "Percentage Used Endurance Indicator"},
};
static_assert(std::size(kStatisticNames) ==
              static_cast<std::size_t>(DeviceStatisticId::kPercentageUsed) + 1);

// The standard IDENTIFY word 80 names by bit, newest last.
constexpr const char* kAtaMajorVersions[] = {
    nullptr,       "ATA-1",    "ATA-2", "ATA-3", "ATA/ATAPI-4", "ATA/ATAPI-5", "ATA/ATAPI-6",
    "ATA/ATAPI-7", "ATA8-ACS", "ACS-2", "ACS-3", "ACS-4",       "ACS-5"};

// IDENTIFY word 222 bits 0-10: the SATA revisions the disk follows.
constexpr const char* kSataVersions[] = {"ATA8-AST", "SATA 1.0a", "SATA II Ext", "SATA 2.5",
                                         "SATA 2.6", "SATA 3.0",  "SATA 3.1",    "SATA 3.2",
                                         "SATA 3.3", "SATA 3.4",  "SATA 3.5"};

// IDENTIFY word 168 bits 0-3: the nominal form factor.
constexpr const char* kFormFactors[] = {nullptr,      "5.25 inches",  "3.5 inches", "2.5 inches",
                                        "1.8 inches", "< 1.8 inches", "mSATA",      "M.2",
                                        "MicroSSD",   "CFast"};

std::string AtaVersion(const IdentifyWords& words) {
  const std::uint16_t major = words[80];
  if (major == 0 || major == 0xFFFF)
    return kUnknown;
  for (std::size_t bit = std::size(kAtaMajorVersions); bit-- > 1;) {
    if (major & (1u << bit))
      return kAtaMajorVersions[bit];
  }
  return kUnknown;
}

std::string SataVersion(const IdentifyWords& words) {
  const std::uint16_t word = words[222];
  if (word == 0 || word == 0xFFFF || (word >> 12) != 1)  // 1: a serial transport
    return kUnknown;
  for (std::size_t bit = std::size(kSataVersions); bit-- > 0;) {
    if (word & (1u << bit))
      return kSataVersions[bit];
  }
  return kUnknown;
}

std::string FormFactor(const IdentifyWords& words) {
  const unsigned code = words[168] & 0x0F;
  return code < std::size(kFormFactors) && kFormFactors[code] ? kFormFactors[code] : kUnknown;
}

std::string Text(std::string_view text) {
  const std::string_view trimmed = TrimBoth(text);
  return trimmed.empty() ? kUnknown : std::string(trimmed);
}

const SmartAttribute* FindAttribute(const SmartSnapshot& smart, std::uint8_t id) {
  for (const SmartAttribute& attribute : smart.attributes) {
    if (attribute.id == id)
      return &attribute;
  }
  return nullptr;
}

}  // namespace

std::string SmartctlAttributeName(std::uint8_t id, std::uint16_t rotation) {
  for (const AttributeName& known : kAttributeNames) {
    if (known.id != id)
      continue;
    if (known.media == Media::kHardDisk && rotation == 1)
      return "Unknown_SSD_Attribute";
    if (known.media == Media::kSolidState && rotation > 1)
      return "Unknown_HDD_Attribute";
    return known.name;
  }
  return "Unknown_Attribute";
}

std::string SmartctlAttributeFlagsShort(std::uint64_t flags) {
  std::string text = "POSRCK";
  for (std::size_t bit = 0; bit < text.size(); ++bit) {
    if ((flags & (1u << bit)) == 0)
      text[bit] = '-';
  }
  return text;
}

std::string SmartctlAttributeFlagsLong(std::uint64_t flags) {
  static constexpr const char* kNames[] = {"prefailure", "updated_online", "performance",
                                           "error_rate", "event_count",    "auto_keep"};
  std::string text;
  for (std::size_t bit = 0; bit < std::size(kNames); ++bit) {
    if (flags & (1u << bit))
      text += (text.empty() ? "" : ",") + std::string(kNames[bit]);
  }
  return text;
}

void AppendSmartctlSeries(const std::vector<DriveMetrics>& drives, std::string* out) {
  using Samples = std::function<void(const DriveMetrics&, const std::string& device, Family&)>;
  // One family over every disk read at least once.
  auto family = [&](const char* name, const char* help, const Samples& samples) {
    Family f(out, name, "gauge", help);
    for (const DriveMetrics& drive : drives) {
      if (drive.everRead)
        samples(drive, Label("device", drive.device.empty() ? kUnknown : drive.device), f);
    }
  };
  family("smartctl_device", "Device info",
         [](const DriveMetrics& d, const std::string& device, Family& f) {
           const IdentifyWords& w = d.identifyWords;
           f.Sample(device + "," + Label("interface", "sat") + "," + Label("protocol", "ATA") +
                        "," + Label("model_family", kUnknown) + "," +
                        Label("model_name", Text(d.model)) + "," +
                        Label("serial_number", Text(d.serial)) + "," +
                        Label("ata_additional_product_id", kUnknown) + "," +
                        Label("firmware_version", Text(d.firmware)) + "," +
                        Label("ata_version", AtaVersion(w)) + "," +
                        Label("sata_version", SataVersion(w)) + "," +
                        Label("form_factor", FormFactor(w)) + "," + Label("scsi_vendor", kUnknown) +
                        "," + Label("scsi_product", kUnknown) + "," +
                        Label("scsi_revision", kUnknown) + "," + Label("scsi_version", kUnknown),
                    "1");
         });
  family(
      "smartctl_device_attribute", "Device attributes",
      [](const DriveMetrics& d, const std::string& device, Family& f) {
        for (const SmartAttribute& a : d.smart.attributes) {
          const std::string labels =
              device + "," +
              Label("attribute_name", SmartctlAttributeName(a.id, d.identifyWords[217])) + "," +
              Label("attribute_flags_short", SmartctlAttributeFlagsShort(a.flags)) + "," +
              Label("attribute_flags_long", SmartctlAttributeFlagsLong(a.flags)) + ",";
          const std::string id = "," + Label("attribute_id", std::to_string(a.id));
          f.Sample(labels + Label("attribute_value_type", "value") + id, std::to_string(a.current));
          f.Sample(labels + Label("attribute_value_type", "worst") + id, std::to_string(a.worst));
          f.Sample(labels + Label("attribute_value_type", "thresh") + id,
                   std::to_string(a.threshold));
          f.Sample(labels + Label("attribute_value_type", "raw") + id, std::to_string(a.raw));
        }
      });
  family("smartctl_device_smart_status", "General smart status",
         [](const DriveMetrics& d, const std::string& device, Family& f) {
           if (d.smart.smartStatusPassed)
             f.Sample(device, *d.smart.smartStatusPassed ? "1" : "0");
         });
  family("smartctl_device_temperature", "Device temperature celsius",
         [](const DriveMetrics& d, const std::string& device, Family& f) {
           std::optional<std::int64_t> current;
           if (FindAttribute(d.smart, 194))
             current = d.smart.temperature;
           else if (d.smart.deviceStatistics)
             current = d.smart.deviceStatistics->Value(DeviceStatisticId::kCurrentTemperature);
           if (current)
             f.Sample(device + "," + Label("temperature_type", "current"),
                      std::to_string(*current));
         });
  family("smartctl_device_power_on_seconds", "Device power on seconds",
         [](const DriveMetrics& d, const std::string& device, Family& f) {
           std::optional<std::int64_t> hours;
           if (FindAttribute(d.smart, 9))
             hours = static_cast<std::int64_t>(d.smart.powerOnHours);
           else if (d.smart.deviceStatistics)
             hours = d.smart.deviceStatistics->Value(DeviceStatisticId::kPowerOnHours);
           if (hours)
             f.Sample(device, std::to_string(*hours * 3600));
         });
  family("smartctl_device_power_cycle_count", "Device power cycle count",
         [](const DriveMetrics& d, const std::string& device, Family& f) {
           if (FindAttribute(d.smart, 12))
             f.Sample(device, std::to_string(d.smart.powerCycles));
         });
  family("smartctl_device_statistics", "Device statistics",
         [](const DriveMetrics& d, const std::string& device, Family& f) {
           if (!d.smart.deviceStatistics)
             return;
           for (const DeviceStatistic& s : d.smart.deviceStatistics->values) {
             const StatisticName& name = kStatisticNames[static_cast<std::size_t>(s.id)];
             const std::string shortFlags =
                 std::string("V") + (s.normalized ? "N" : "-") + "-" + (s.conditionMet ? "C" : "-");
             const std::string longFlags = std::string("valid") +
                                           (s.normalized ? ",normalized" : "") +
                                           (s.conditionMet ? ",monitored_condition_met" : "");
             f.Sample(device + "," + Label("statistic_table", name.table) + "," +
                          Label("statistic_name", name.name) + "," +
                          Label("statistic_flags_short", shortFlags) + "," +
                          Label("statistic_flags_long", longFlags),
                      std::to_string(s.value));
           }
         });
  family("smartctl_device_error_log_count", "Device SMART error log count",
         [](const DriveMetrics& d, const std::string& device, Family& f) {
           if (d.smart.errorLog)
             f.Sample(
                 device + "," +
                     Label("error_log_type", d.smart.errorLog->extended ? "extended" : "summary"),
                 std::to_string(d.smart.errorLog->errorCount));
         });
  family("smartctl_device_self_test_log_count", "Device SMART self test log count",
         [](const DriveMetrics& d, const std::string& device, Family& f) {
           if (d.smart.selfTestLog)
             f.Sample(device + "," +
                          Label("self_test_log_type",
                                d.smart.selfTestLog->extended ? "extended" : "standard"),
                      std::to_string(d.smart.selfTestLog->entries.size()));
         });
  // The log's entries for tests that ended in a failure (states 3-8), as smartctl counts them.
  family("smartctl_device_self_test_log_error_count", "Device SMART self test log error count",
         [](const DriveMetrics& d, const std::string& device, Family& f) {
           if (!d.smart.selfTestLog)
             return;
           const auto failed = std::count_if(
               d.smart.selfTestLog->entries.begin(), d.smart.selfTestLog->entries.end(),
               [](const SelfTestLogEntry& e) { return e.state >= 3 && e.state <= 8; });
           f.Sample(device + "," +
                        Label("self_test_log_type",
                              d.smart.selfTestLog->extended ? "extended" : "standard"),
                    std::to_string(failed));
         });
}

}  // namespace ds
