#include "drive/identify_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "platform/sim/sim_test_drive.h"

namespace ds {
namespace {

DriveRecord Decode(const IdentifyWords& w) {
  DriveRecord record;
  DecodeIdentify(w, &record);
  return record;
}

TEST(IdentifyDecoderTest, MediaTypeFromWordZero) {
  const std::pair<std::uint16_t, const char*> cases[] = {
      {0x0000, "FIXED(0000)"}, {0x8480, "REMOVABLE(8480)"}, {0x844A, "CompactFlash ATA(844A)"}};
  for (const auto& [word0, expected] : cases)
    EXPECT_EQ(Decode(IdentifyWords{word0}).mediaType, expected) << std::hex << word0;
}

TEST(IdentifyDecoderTest, TextsStopAtTheFirstNulOrLeaveEmptyFieldsAlone) {
  for (int nulByte : {0, 1, 4, 5}) {
    IdentifyWords cut = IdentifyWordsFromBytes(testing::IdentifySector({.model = "ABCDEFGHIJ"}));
    cut[27 + nulByte / 2] &= nulByte % 2 ? 0xFF00 : 0x00FF;  // the word itself stays non-zero
    EXPECT_EQ(Decode(cut).model, std::string("ABCDEFGHIJ", nulByte));
  }
  IdentifyWords serialOnly = IdentifyWordsFromBytes(testing::IdentifySector({.serial = "   S1"}));
  std::fill(&serialOnly[23], &serialOnly[47], 0);  // empty model and firmware: descriptor's texts
  DriveRecord r;
  r.model = "Vendor Product", r.firmware = "1.0";
  DecodeIdentify(serialOnly, &r);
  EXPECT_EQ(r.model + "|" + r.serial + "|" + r.firmware, "Vendor Product|S1|1.0");
}

// A few words of an empty sector, one decoded field: the edges (real disks cover the rest).
TEST(IdentifyDecoderTest, ModesFeaturesSizeAndGeometryFromTheirWords) {
  enum Field { kSectors, kCylinders, kHeads, kUdma, kPio, kSmart, kSecurity };
  using Words = std::vector<std::pair<int, std::uint16_t>>;
  // 28-bit count 0x0FFFFFFF in words 60-61; 48-bit count 0x0001'1BF2'3AB0 in words 100-103.
  const Words counts = {{60, 0xFFFF}, {61, 0x0FFF}, {100, 0x3AB0}, {101, 0x1BF2}, {102, 0x0001}};
  const auto with = [&counts](Words words) {
    words.insert(words.end(), counts.begin(), counts.end());
    return words;
  };
  // clang-format off
  const std::tuple<Words, Field, std::uint64_t> cases[] = {  // words, field, value
      {with({{83, 0x4400}}), kSectors, 0},                          // no LBA at all
      {with({{49, 0x0200}, {83, 0x0400}}), kSectors, 0x0FFFFFFF},   // validity bits 00
      {with({{49, 0x0200}, {83, 0xC400}}), kSectors, 0x0FFFFFFF},   // validity bits 11
      // Geometry is dropped only for LBA disks of 16,514,065 sectors or more without word 1.
      {{{49, 0x0200}, {1, 0}, {3, 16}, {60, 0xFC11}, {61, 0x00FB}}, kHeads, 0},
      {{{49, 0x0200}, {1, 0}, {3, 16}, {60, 0xFC10}, {61, 0x00FB}}, kHeads, 16},
      {{{49, 0x0200}, {1, 16383}, {3, 16}, {60, 0xFC11}, {61, 0x00FB}}, kCylinders, 16383},
      {{{49, 0x0000}, {1, 0}, {3, 16}, {60, 0xFC11}, {61, 0x00FB}}, kHeads, 16},
      // Ultra DMA: highest supported (low) or selected (high byte) when 49 bit 8 and 53 bit 2.
      {{{49, 0x0100}, {53, 4}, {88, 0x8001}}, kUdma, 7},
      {{{49, 0x0000}, {53, 4}, {88, 0x007F}}, kUdma, 0},
      {{{49, 0x0100}, {53, 0}, {88, 0x007F}}, kUdma, 0},
      // PIO: word 64 bit 0 is mode 3, bit 1 mode 4; only its low byte counts.
      {{{53, 0}, {64, 0x0003}}, kPio, 0},
      {{{53, 2}, {64, 0xFF00}}, kPio, 0},
      {{{53, 2}, {64, 0x0080}}, kPio, 10},
      // S.M.A.R.T. needs word 83 bits 15-14 = 01.
      {{{82, 0x0001}, {85, 0x0001}}, kSmart, 0},
      {{{82, 0xFFFF}, {83, 0xFFFF}, {85, 0xFFFF}}, kSmart, 0},
      {{{128, 0xFFFE}}, kSecurity, 0}};
  // clang-format on
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& [words, field, expected] = cases[i];
    IdentifyWords w{};
    for (const auto& [index, value] : words)
      w[index] = value;
    const DriveRecord r = Decode(w);
    const std::uint64_t fields[] = {r.sectorCount,      r.cylinders, r.heads,
                                    r.udmaMode,         r.pioMode,   r.smartState,
                                    r.securitySupported};
    EXPECT_EQ(fields[field], expected) << "case " << i;
  }
}

TEST(IdentifyDecoderTest, ChecksumStates) {
  IdentifyWords w = IdentifyWordsFromBytes(testing::IdentifySector({.model = "MODEL"}));
  EXPECT_EQ(CheckIdentifyChecksum(w), IdentifyChecksum::kValid);
  w[27] ^= 0x0100;
  EXPECT_EQ(CheckIdentifyChecksum(w), IdentifyChecksum::kBad);
  w[255] = 0;
  EXPECT_EQ(CheckIdentifyChecksum(w), IdentifyChecksum::kAbsent);
}

}  // namespace
}  // namespace ds
