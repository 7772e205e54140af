#include "drive/selftest_log.h"

#include <gtest/gtest.h>

#include <vector>

namespace ds {
namespace {

// Writes test number `n` (1, 2, ...) the way a disk does into a ring of `slots`
// descriptors: SMART log 06h (24-byte descriptors from byte 2, 4-byte LBA) or, `extended`,
// GPL 07h (19 per page of 26 bytes from byte 4, 6-byte LBA); then sets the index.
void WriteTest(std::vector<std::uint8_t>& log, bool extended, int slots, int n, std::uint8_t status,
               std::uint64_t lba) {
  const int d = (n - 1) % slots;  // from 0
  const std::size_t at = extended ? 512 * (d / 19) + 4 + 26 * (d % 19) : 2 + 24 * d;
  log[at] = n % 2 ? 0x01 : 0x02;
  log[at + 1] = status;
  log[at + 2] = static_cast<std::uint8_t>(100 + n), log[at + 3] = 0x01;  // 356 + n hours
  for (int i = 0; i < (extended ? 6 : 4); ++i)
    log[at + 5 + i] = static_cast<std::uint8_t>(lba >> (8 * i));
  if (extended) {
    log[0] = 1, log[2] = static_cast<std::uint8_t>(d + 1), log[3] = 0;
  } else {
    log[0] = 1, log[508] = static_cast<std::uint8_t>(d + 1);
  }
}

TEST(SelfTestLogTest, RingsThatWrappedReadNewestFirst) {
  struct Case {
    bool extended;
    int pages, slots, tests;
    std::uint64_t failedLba;  // of the newest test, which failed reading
  };
  const Case cases[] = {
      {false, 1, 21, 23, 0x0ABCDEF},
      {true, 2, 38, 40, 0x123456789ABC},  // above 2^28, across two pages
      {false, 1, 21, 5, 0x10},            // not wrapped yet
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> log(512 * static_cast<std::size_t>(c.pages));
    for (int n = 1; n <= c.tests; ++n)
      WriteTest(log, c.extended, c.slots, n, n == c.tests ? 0x73 : 0x00, 0);
    WriteTest(log, c.extended, c.slots, c.tests, 0x73, c.failedLba);
    std::string message;
    const auto decoded = c.extended ? DecodeExtendedSelfTestLog(log, &message)
                                    : DecodeSmartSelfTestLog(log, &message);
    ASSERT_TRUE(decoded) << message;
    const int kept = std::min(c.tests, c.slots);
    ASSERT_EQ(decoded->entries.size(), static_cast<std::size_t>(kept)) << c.slots;
    EXPECT_EQ(decoded->newestDescriptor, (c.tests - 1) % c.slots + 1);
    for (int k = 0; k < kept; ++k) {
      const SelfTestLogEntry& e = decoded->entries[static_cast<std::size_t>(k)];
      const int n = c.tests - k;
      EXPECT_EQ(e.descriptor, (n - 1) % c.slots + 1);
      EXPECT_EQ(e.powerOnHours, 356 + n);
      EXPECT_EQ(e.test, n % 2 ? 0x01 : 0x02);
      EXPECT_EQ(e.failingLba, k == 0 ? std::optional(c.failedLba) : std::nullopt) << k;
    }
    EXPECT_EQ(decoded->entries[0].state, 7);
    EXPECT_EQ(decoded->entries[0].remainingPercent, 30);
  }
}

TEST(SelfTestLogTest, EmptyAndBrokenLogs) {
  std::vector<std::uint8_t> log(512);
  WriteTest(log, false, 21, 1, 0x00, 0);
  log[508] = 0;  // index 0: empty, whatever the descriptors hold
  std::string message;
  auto decoded = DecodeSmartSelfTestLog(log, &message);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->entries.empty());
  log[508] = 22;
  EXPECT_FALSE(DecodeSmartSelfTestLog(log, &message));
  EXPECT_EQ(message, "the self-test log names descriptor 22 of 21 as its newest");
  log[2] = 20, log[3] = 0;  // extended, one page: 19 descriptors
  EXPECT_FALSE(DecodeExtendedSelfTestLog(log, &message));
  EXPECT_FALSE(DecodeSmartSelfTestLog(std::span(log).first(500), &message));
  EXPECT_EQ(SelfTestTypeText(0x82), "Extended captive");
}

}  // namespace
}  // namespace ds
