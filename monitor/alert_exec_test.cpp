#include "monitor/alert_exec.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

TEST(AlertExecTest, SmartdFailureTypes) {
  const std::tuple<const char*, bool, const char*> cases[] = {
      {"DUT's temperature value is under 5 Celsius (Current is 2).", false, "Temperature"},
      {"DUT's (Drive /temperature value) free space is under 6GB (Current is 5GB).", false,
       "FreeSpace"},
      {"DUT's health status is under 96 (Current is 95).", false, "Usage"},
      {"DUT's lifespan is under 20 years 0 days (Current is 15 years 225 days).", false, "Usage"},
      {"DUT's self-test failed (read failure, LBA 7).\nDUT's error log count rose from 1 to 2.",
       false, "SelfTest"},
      {"DUT's error log count rose from 1 to 2.", false, "ErrorCount"},
      {"DUT's attribute 197 (Current_Pending_Sector) raw value rose from 0 to 8.", false,
       "CurrentPendingSector"},
      {"DUT's attribute 198 (Offline_Uncorrectable) raw value rose from 0 to 1.", false,
       "OfflineUncorrectableSector"},
      {"DUT's attribute 5 (Reallocated_Sector_Ct) raw value rose from 0 to 1.", false, "Usage"},
      {"DUT's own health check reports a threshold exceeded.", false, "Health"},
      {"DUT's disk M S is no longer present.", true, "FailedOpenDevice"},
  };
  for (const auto& [text, gone, type] : cases)
    EXPECT_EQ(SmartdFailType(text, gone), type) << text;
}

TEST(AlertExecTest, DiskTextAndOutputAreCleaned) {
  EXPECT_EQ(CleanDiskText("~\x01~ab\n\x7f c~"), "ab c~");
  EXPECT_EQ(EscapeForLog("a\\b\n\x1b[0m\xc3\xa9"), "a\\\\b\\n\\x1b[0m\xc3\xa9");
}

}  // namespace
}  // namespace ds
