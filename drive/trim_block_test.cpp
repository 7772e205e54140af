#include "drive/trim_block.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

namespace ds {
namespace {

TEST(TrimBlockTest, RunsCoverTheDiskOnceWithTheClosingEntryWhereItFits) {
  using Entry = std::pair<std::uint64_t, std::uint64_t>;  // first LBA, length
  // sectors, blocks, entries, the last entry
  const std::tuple<std::uint64_t, std::uint64_t, std::size_t, Entry> cases[] = {
      {65535, 1, 2, {65535, 0}},           // exact end: closing entry of length 0
      {4194240, 1, 64, {4128705, 65535}},  // block full: no room for a closing entry
      {4194241, 2, 65, {4194240, 1}},      // one sector into the second block
      {(std::uint64_t{1} << 33) + 12345, 2049, 131075, {8589934590, 12347}}};  // LBA > 32 bits
  for (const auto& [sectors, blocks, count, lastEntry] : cases) {
    SCOPED_TRACE(sectors);
    ASSERT_EQ(TrimBlockCount(sectors), blocks);
    // Every entry, read back byte by byte; all-zero entries after the last one left out.
    std::vector<Entry> entries;
    for (std::uint64_t b = 0; b < blocks; ++b) {
      TrimBlock block;
      EXPECT_EQ(FillTrimBlock(sectors, b, &block), b + 1 == blocks);
      for (int e = 0; e < 64; ++e) {
        const std::uint8_t* at = block.data() + 8 * e;
        Entry entry{0, std::uint64_t{at[6]} | std::uint64_t{at[7]} << 8};
        for (int i = 5; i >= 0; --i)
          entry.first = entry.first << 8 | at[i];
        if (entry != Entry{0, 0} || (b == 0 && e == 0))
          entries.push_back(entry);
      }
    }
    EXPECT_EQ(std::tuple(entries.size(), entries.back()), std::tuple(count, lastEntry));
    std::uint64_t next = 0;  // contiguous from LBA 0, none longer than 65535
    for (const auto& [first, length] : entries) {
      ASSERT_EQ(first, next);
      ASSERT_LE(length, 65535u);
      next += length;
    }
    EXPECT_EQ(next, sectors);
  }
  EXPECT_EQ(TrimBlockCount(0), 0u);
}

// DATA SET MANAGEMENT range entries as the standard lays them out: 8 bytes least significant
// first, bits 47:0 the LBA, 63:48 the length. Block 50000017 starts at LBA 0xBEBB6583DBC0.
TEST(TrimBlockTest, EntriesOfLbasBeyondFortyBitsAsTheStandardLaysThemOut) {
  TrimBlock block;
  EXPECT_TRUE(FillTrimBlock(209712071367620, 50000017, &block));
  const TrimBlock expected{0xC0, 0xDB, 0x83, 0x65, 0xBB, 0xBE, 0xFF, 0xFF,  // 0xBEBB6583DBC0, 65535
                           0xBF, 0xDB, 0x84, 0x65, 0xBB, 0xBE, 0x05, 0x00};  // 0xBEBB6584DBBF, 5
  EXPECT_EQ(block, expected);
}

}  // namespace
}  // namespace ds
