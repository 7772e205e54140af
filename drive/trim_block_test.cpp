#include "drive/trim_block.h"

#include <gtest/gtest.h>

#include <vector>

namespace ds {
namespace {

struct Entry {
  std::uint64_t first = 0;
  std::uint64_t length = 0;
};

// Every entry of the run, read back from the blocks byte by byte; unused (all-zero)
// entries after the last one are left out.
std::vector<Entry> DecodeRun(std::uint64_t sectors, std::uint64_t* blocks) {
  std::vector<Entry> entries;
  *blocks = TrimBlockCount(sectors);
  for (std::uint64_t b = 0; b < *blocks; ++b) {
    TrimBlock block;
    const bool last = FillTrimBlock(sectors, b, &block);
    EXPECT_EQ(last, b + 1 == *blocks) << "block " << b;
    for (int e = 0; e < 64; ++e) {
      const std::uint8_t* at = block.data() + 8 * e;
      Entry entry;
      for (int i = 5; i >= 0; --i)
        entry.first = entry.first << 8 | at[i];
      entry.length = std::uint64_t{at[6]} | std::uint64_t{at[7]} << 8;
      if (entry.first == 0 && entry.length == 0 && !(b == 0 && e == 0))
        continue;
      entries.push_back(entry);
    }
  }
  return entries;
}

TEST(TrimBlockTest, RunsCoverTheDiskOnceWithTheClosingEntryWhereItFits) {
  struct Case {
    std::uint64_t sectors;
    std::uint64_t blocks;
    std::size_t entries;
    Entry lastEntry;
  };
  const Case cases[] = {
      {100, 1, 1, {0, 100}},
      {65535, 1, 2, {65535, 0}},                      // exact end: closing entry of length 0
      {131070, 1, 3, {131070, 0}},                    // two full entries, then the closing one
      {4194240, 1, 64, {4128705, 65535}},             // block full: no room for a closing entry
      {4194241, 2, 65, {4194240, 1}},                 // one sector into the second block
      {8388480, 2, 128, {8322945, 65535}},            // two full blocks
      {1953525168, 466, 29809, {1953467280, 57888}},  // a 1 TB disk
      {(std::uint64_t{1} << 33) + 12345, 2049, 131075, {8589934590, 12347}},  // LBA > 32 bits
  };
  for (const Case& c : cases) {
    std::uint64_t blocks = 0;
    const std::vector<Entry> entries = DecodeRun(c.sectors, &blocks);
    EXPECT_EQ(blocks, c.blocks) << c.sectors;
    ASSERT_EQ(entries.size(), c.entries) << c.sectors;
    EXPECT_EQ(entries.back().first, c.lastEntry.first) << c.sectors;
    EXPECT_EQ(entries.back().length, c.lastEntry.length) << c.sectors;
    // Contiguous from LBA 0 to the end, no entry longer than 65535.
    std::uint64_t next = 0;
    for (const Entry& entry : entries) {
      ASSERT_EQ(entry.first, next) << c.sectors;
      ASSERT_LE(entry.length, 65535u) << c.sectors;
      next += entry.length;
    }
    EXPECT_EQ(next, c.sectors);
  }
}

TEST(TrimBlockTest, EmptyDiskAndBlocksPastTheEnd) {
  EXPECT_EQ(TrimBlockCount(0), 0u);
  TrimBlock block;
  block.fill(0xEE);
  EXPECT_TRUE(FillTrimBlock(100, 1, &block));
  EXPECT_EQ(block, TrimBlock{});
}

}  // namespace
}  // namespace ds
