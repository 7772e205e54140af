#include "monitor/smartctl_series.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

// The names smartctl prints: its default table, told apart by what IDENTIFY word 217 says.
TEST(SmartctlSeriesTest, AttributeNamesAsSmartctlPrintsThem) {
  const std::tuple<int, int, const char*> names[] = {
      {194, 1, "Temperature_Celsius"},     {231, 1, "Unknown_SSD_Attribute"},
      {231, 7200, "Temperature_Celsius"},  {233, 7200, "Unknown_HDD_Attribute"},
      {233, 0, "Media_Wearout_Indicator"}, {167, 1, "Unknown_Attribute"},
      {5, 1, "Reallocated_Sector_Ct"},
  };
  for (const auto& [id, rotation, name] : names)
    EXPECT_EQ(
        SmartctlAttributeName(static_cast<std::uint8_t>(id), static_cast<std::uint16_t>(rotation)),
        name);
}

// A read disk gives each family its labels; a family with nothing read for it stays empty.
TEST(SmartctlSeriesTest, EveryFamilyWithTheExportersLabels) {
  DriveMetrics d;
  d.everRead = true, d.device = "sdb", d.model = "QRA-X50 256GB  ", d.serial = "S1",
  d.firmware = "F1";
  d.identifyWords[80] = 0x07F0, d.identifyWords[222] = 0x10FF, d.identifyWords[168] = 3;
  d.identifyWords[217] = 1;
  d.smart.attributes = {{194, "", 0x22, 70, 60, 0, 0x2D0000002D}, {9, "", 0x33, 100, 100, 0, 6240}};
  d.smart.temperature = 45, d.smart.powerOnHours = 6240, d.smart.smartStatusPassed = false;
  d.smart.deviceStatistics =
      DeviceStatistics{{{DeviceStatisticId::kPercentageUsed, 7, true, false}}, {}};
  d.smart.errorLog = ErrorLog{2, {}, false};
  d.smart.selfTestLog = SelfTestLog{1, 1, {{}, {}, {}}, true};
  d.smart.selfTestLog->entries[1].state = 7;  // a read failure: an error entry
  DriveMetrics unread = d;
  unread.everRead = false, unread.device = "sdc";
  std::string text;
  AppendSmartctlSeries({d, unread}, &text);
  for (
      const char* line :
      {R"(smartctl_device{device="sdb",interface="sat",protocol="ATA",model_family="unknown",model_name="QRA-X50 256GB",serial_number="S1",ata_additional_product_id="unknown",firmware_version="F1",ata_version="ACS-3",sata_version="SATA 3.2",form_factor="2.5 inches",scsi_vendor="unknown",scsi_product="unknown",scsi_revision="unknown",scsi_version="unknown"} 1)",
       R"(smartctl_device_attribute{device="sdb",attribute_name="Temperature_Celsius",attribute_flags_short="-O---K",attribute_flags_long="updated_online,auto_keep",attribute_value_type="raw",attribute_id="194"} 193273528365)",
       R"(smartctl_device_attribute{device="sdb",attribute_name="Power_On_Hours",attribute_flags_short="PO--CK",attribute_flags_long="prefailure,updated_online,event_count,auto_keep",attribute_value_type="worst",attribute_id="9"} 100)",
       R"(smartctl_device_smart_status{device="sdb"} 0)",
       R"(smartctl_device_temperature{device="sdb",temperature_type="current"} 45)",
       R"(smartctl_device_power_on_seconds{device="sdb"} 22464000)",
       R"(smartctl_device_statistics{device="sdb",statistic_table="Solid State Device Statistics",statistic_name="Percentage Used Endurance Indicator",statistic_flags_short="VN--",statistic_flags_long="valid,normalized"} 7)",
       R"(smartctl_device_error_log_count{device="sdb",error_log_type="summary"} 2)",
       R"(smartctl_device_self_test_log_count{device="sdb",self_test_log_type="extended"} 3)",
       R"(smartctl_device_self_test_log_error_count{device="sdb",self_test_log_type="extended"} 1)",
       "# TYPE smartctl_device_power_cycle_count gauge\n# HELP smartctl_device_statistics Device "
       "statistics"}) {
    EXPECT_NE(text.find(std::string(line) + "\n"), std::string::npos) << line;
  }
  EXPECT_EQ(text.find("sdc"), std::string::npos);
}

}  // namespace
}  // namespace ds
