#include "drive/error_log.h"

#include <gtest/gtest.h>

#include <vector>

namespace ds {
namespace {

// Writes error `n` (1, 2, ...) into a ring of `slots` entries the way a disk does: the
// summary log 01h (90-byte entries from byte 2: five 12-byte command structures, then
// the error structure) or, `extended`, GPL 03h (four 124-byte entries per page from byte 4:
// five 18-byte command structures, then the error structure); then the index and count.
void WriteError(std::vector<std::uint8_t>& log, bool extended, int slots, int n,
                std::uint64_t lba) {
  const int d = (n - 1) % slots;
  const auto byte = [](std::uint64_t v, int shift) {
    return static_cast<std::uint8_t>(v >> shift);
  };
  if (!extended) {
    std::uint8_t* e = log.data() + 2 + 90 * d;
    e[48 + 7] = 0xC8, e[48 + 8] = byte(n, 0);  // READ DMA, n ms after power-on
    std::uint8_t* r = e + 60;
    r[1] = 0x40, r[3] = byte(lba, 0), r[4] = byte(lba, 8), r[5] = byte(lba, 16);
    r[6] = static_cast<std::uint8_t>(0xE0 | byte(lba, 24)), r[7] = 0x51;
    r[27] = 0x03, r[28] = byte(500 + n, 0), r[29] = byte(500 + n, 8);
    log[1] = static_cast<std::uint8_t>(d + 1), log[452] = byte(n, 0), log[453] = byte(n, 8);
    return;
  }
  std::uint8_t* e = log.data() + 512 * (d / 4) + 4 + 124 * (d % 4);
  e[72 + 12] = 0x25, e[72 + 14] = byte(n, 0);  // READ DMA EXT
  std::uint8_t* r = e + 90;
  r[1] = 0x40, r[11] = 0x51, r[31] = 0x03, r[32] = byte(500 + n, 0), r[33] = byte(500 + n, 8);
  for (int i = 0; i < 3; ++i)  // LBA 7:0 then 31:24, 15:8 then 39:32, 23:16 then 47:40
    r[4 + 2 * i] = byte(lba, 8 * i), r[5 + 2 * i] = byte(lba, 24 + 8 * i);
  log[2] = static_cast<std::uint8_t>(d + 1), log[3] = 0;
  log[500] = byte(n, 0), log[501] = byte(n, 8);
}

TEST(ErrorLogTest, CountAndNewestEntriesOfBothLogs) {
  struct Case {
    bool extended;
    int pages, slots, errors;
    std::uint64_t lbaBase;
  };
  const Case cases[] = {
      {false, 1, 5, 7, 0x0123456},       // wrapped
      {false, 1, 5, 2, 0x10},            // three entries still empty
      {true, 2, 8, 300, 0x3456789ABC0},  // 48-bit LBAs, wrapped across pages, count > 255
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> log(512 * static_cast<std::size_t>(c.pages));
    for (int n = 1; n <= c.errors; ++n)
      WriteError(log, c.extended, c.slots, n, c.lbaBase + static_cast<std::uint64_t>(n));
    std::string message;
    const auto decoded =
        c.extended ? DecodeExtendedErrorLog(log, &message) : DecodeSummaryErrorLog(log, &message);
    ASSERT_TRUE(decoded) << message;
    EXPECT_EQ(decoded->errorCount, c.errors);
    const int kept = std::min(c.errors, c.slots);
    ASSERT_EQ(decoded->entries.size(), static_cast<std::size_t>(kept));
    for (int k = 0; k < kept; ++k) {
      const ErrorLogEntry& e = decoded->entries[static_cast<std::size_t>(k)];
      const int n = c.errors - k;
      EXPECT_EQ(e.number, n);
      EXPECT_EQ(e.lba, c.lbaBase + static_cast<std::uint64_t>(n)) << k;
      EXPECT_EQ(e.powerOnHours, 500 + n);
      EXPECT_EQ(e.commandMs, static_cast<std::uint32_t>(n & 0xFF));
      EXPECT_EQ(e.command, c.extended ? 0x25 : 0xC8);
      EXPECT_EQ(e.error, 0x40);
      EXPECT_EQ(e.status, 0x51);
      EXPECT_EQ(e.state, 0x03);
    }
  }
  std::vector<std::uint8_t> log(512);
  log[1] = 6;  // no sixth entry
  std::string message;
  EXPECT_FALSE(DecodeSummaryErrorLog(log, &message));
  EXPECT_EQ(message, "the error log names entry 6 of 5 as its newest");
  EXPECT_FALSE(DecodeExtendedErrorLog(std::span(log).first(100), &message));
}

}  // namespace
}  // namespace ds
