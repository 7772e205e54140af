#include "drive/identify_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace ds {
namespace {

// Puts an ATA text into words [first, first + count): two characters per word, the first
// in the high byte, padded with blanks.
void PutText(IdentifyWords& w, int first, int count, const std::string& text) {
  std::string padded = text;
  padded.resize(static_cast<std::size_t>(count) * 2, ' ');
  for (int i = 0; i < count; ++i) {
    auto high = static_cast<std::uint8_t>(padded[2 * i]);
    auto low = static_cast<std::uint8_t>(padded[2 * i + 1]);
    w[first + i] = static_cast<std::uint16_t>((high << 8) | low);
  }
}

DriveRecord Decode(const IdentifyWords& w) {
  DriveRecord record;
  DecodeIdentify(w, &record);
  return record;
}

TEST(IdentifyDecoderTest, MediaTypeFromWordZero) {
  struct Case {
    std::uint16_t word0;
    const char* expected;
  };
  const Case cases[] = {
      {0x0040, "FIXED(0040)"},
      {0x045A, "FIXED(045A)"},
      {0x0080, "REMOVABLE(0080)"},
      {0x848A, "CompactFlash ATA(848A)"},
      {0x844A, "CompactFlash ATA(844A)"},
      {0x8480, "REMOVABLE(8480)"},
      {0xFFFF, "REMOVABLE(FFFF)"},
      {0x0000, "FIXED(0000)"},
  };
  for (const Case& c : cases) {
    IdentifyWords w{};
    w[0] = c.word0;
    EXPECT_EQ(Decode(w).mediaType, c.expected) << std::hex << c.word0;
  }
}

TEST(IdentifyDecoderTest, TextsKeepOrTrimBlanksAsEachFieldRequires) {
  IdentifyWords w{};
  PutText(w, 27, 20, "QRA-X50 240GB");
  PutText(w, 10, 10, "   SN0042");
  PutText(w, 23, 4, " FW1.2");
  DriveRecord r = Decode(w);
  EXPECT_EQ(r.model, "QRA-X50 240GB" + std::string(27, ' '));  // model is not trimmed
  EXPECT_EQ(r.serial, "SN0042");
  EXPECT_EQ(r.firmware, "FW1.2");
}

TEST(IdentifyDecoderTest, TextsStopAtTheFirstNul) {
  struct Case {
    int nulByte;  // byte index within the model words where a NUL is written
    std::string expected;
  };
  const Case cases[] = {{0, ""}, {1, "A"}, {4, "ABCD"}, {5, "ABCDE"}};
  for (const Case& c : cases) {
    IdentifyWords w{};
    PutText(w, 27, 20, "ABCDEFGHIJ");
    int word = 27 + c.nulByte / 2;
    if (c.nulByte % 2 == 0) {
      w[word] &= 0x00FF;
    } else {
      w[word] &= 0xFF00;
    }
    if (c.nulByte == 0)
      w[27] = 0x0041;  // high byte NUL, word itself non-zero
    EXPECT_EQ(Decode(w).model, c.expected) << c.nulByte;
  }
}

TEST(IdentifyDecoderTest, EmptyModelAndFirmwareWordsLeaveTheFieldsAlone) {
  IdentifyWords w{};
  PutText(w, 10, 10, "S1");
  DriveRecord r;
  r.model = "Vendor Product";
  r.firmware = "1.0";
  DecodeIdentify(w, &r);
  EXPECT_EQ(r.model, "Vendor Product");
  EXPECT_EQ(r.firmware, "1.0");
  EXPECT_EQ(r.serial, "S1");
}

TEST(IdentifyDecoderTest, NonAsciiBytesAreKeptAsTheyAre) {
  IdentifyWords w{};
  w[27] = 0xC3A9;  // two bytes of a UTF-8 "é"
  w[28] = 0x7F01;
  DriveRecord r = Decode(w);
  ASSERT_EQ(r.model.size(), 4u);
  EXPECT_EQ(static_cast<unsigned char>(r.model[0]), 0xC3);
  EXPECT_EQ(static_cast<unsigned char>(r.model[3]), 0x01);
}

TEST(IdentifyDecoderTest, SectorCountFrom28Or48BitWords) {
  struct Case {
    std::uint16_t w49, w83;
    std::uint64_t expected;
  };
  // 28-bit count 0x0FFFFFFF; 48-bit count 0x0001'1BF2'3AB0.
  const Case cases[] = {
      {0x0000, 0x4400, 0},                         // no LBA at all
      {0x0200, 0x0000, 0x0FFFFFFF},                // LBA, no 48-bit words
      {0x0200, 0x4000, 0x0FFFFFFF},                // words valid, 48-bit bit clear
      {0x0200, 0x0400, 0x0FFFFFFF},                // 48-bit bit set, validity bits 00
      {0x0200, 0xC400, 0x0FFFFFFF},                // validity bits 11
      {0x0200, 0x4400, 0x0000'0001'1BF2'3AB0ull},  // 48-bit count wins
      {0x0000, 0x4400, 0},                         // 48-bit alone needs LBA
  };
  for (const Case& c : cases) {
    IdentifyWords w{};
    w[49] = c.w49;
    w[83] = c.w83;
    w[60] = 0xFFFF;
    w[61] = 0x0FFF;
    w[100] = 0x3AB0;
    w[101] = 0x1BF2;
    w[102] = 0x0001;
    w[103] = 0x0000;
    EXPECT_EQ(Decode(w).sectorCount, c.expected) << std::hex << c.w49 << " " << c.w83;
  }
}

TEST(IdentifyDecoderTest, GeometryIsZeroOnlyForLargeLbaDisksWithoutCylinders) {
  struct Case {
    std::uint16_t w49, w1;
    std::uint32_t lba28;
    std::uint32_t cylinders;
  };
  const Case cases[] = {
      {0x0200, 0, 16514065, 0},          // large LBA disk without CHS
      {0x0200, 0, 16514064, 0},          // just below: words taken as they are (w1 = 0)
      {0x0200, 16383, 16514065, 16383},  // w1 set: taken
      {0x0000, 0, 16514065, 0},          // no LBA: words taken (all zero here)
      {0x0000, 1024, 0, 1024},
  };
  for (const Case& c : cases) {
    IdentifyWords w{};
    w[49] = c.w49;
    w[1] = c.w1;
    w[3] = 16;
    w[6] = 63;
    w[60] = static_cast<std::uint16_t>(c.lba28 & 0xFFFF);
    w[61] = static_cast<std::uint16_t>(c.lba28 >> 16);
    DriveRecord r = Decode(w);
    bool zeroed = c.w49 == 0x0200 && c.w1 == 0 && c.lba28 >= 16514065;
    EXPECT_EQ(r.cylinders, c.cylinders);
    EXPECT_EQ(r.heads, zeroed ? 0u : 16u);
    EXPECT_EQ(r.sectorsPerTrack, zeroed ? 0u : 63u);
  }
}

TEST(IdentifyDecoderTest, UltraDmaModeIsTheHighestSupportedOrSelectedBit) {
  struct Case {
    std::uint16_t w49, w53, w88;
    int expected;
  };
  const Case cases[] = {
      {0x0100, 0x0004, 0x007F, 6},  // udma0-6 supported
      {0x0100, 0x0004, 0x207F, 6},  // udma5 selected, 6 supported
      {0x0100, 0x0004, 0x8001, 7},  // selected bit 15 counts as mode 7
      {0x0100, 0x0004, 0x00FF, 7}, {0x0100, 0x0004, 0x0001, 0},
      {0x0100, 0x0004, 0x0000, 0},  // no modes
      {0x0000, 0x0004, 0x007F, 0},  // DMA not supported (word 49 bit 8)
      {0x0100, 0x0000, 0x007F, 0},  // word 88 not valid (word 53 bit 2)
  };
  for (const Case& c : cases) {
    IdentifyWords w{};
    w[49] = c.w49;
    w[53] = c.w53;
    w[88] = c.w88;
    EXPECT_EQ(Decode(w).udmaMode, c.expected) << std::hex << c.w88;
  }
}

TEST(IdentifyDecoderTest, PioModeFromWord64) {
  struct Case {
    std::uint16_t w53, w64;
    int expected;
  };
  const Case cases[] = {
      {0x0002, 0x0003, 4},  {0x0002, 0x0001, 3}, {0x0002, 0x0000, 0},
      {0x0000, 0x0003, 0},  {0x0002, 0xFF00, 0},  // only the low byte counts
      {0x0002, 0x0080, 10},
  };
  for (const Case& c : cases) {
    IdentifyWords w{};
    w[53] = c.w53;
    w[64] = c.w64;
    EXPECT_EQ(Decode(w).pioMode, c.expected) << std::hex << c.w64;
  }
}

TEST(IdentifyDecoderTest, FeatureStates) {
  struct Case {
    std::uint16_t w82, w83, w85, w128;
    int smart, hpa, security, cfa;
  };
  const Case cases[] = {
      {0x0000, 0x0000, 0x0000, 0x0000, 0, 1, 0, 0},
      {0x0001, 0x4000, 0x0000, 0x0000, 1, 1, 0, 0},  // SMART supported, off
      {0x0001, 0x4000, 0x0001, 0x0000, 2, 1, 0, 0},  // SMART enabled
      {0x0001, 0x0000, 0x0001, 0x0000, 0, 1, 0, 0},  // word 83 not valid
      {0x0401, 0x4000, 0x0401, 0x0001, 2, 2, 1, 0},  // HPA enabled, security
      {0x0400, 0x4004, 0x0000, 0x0000, 0, 0, 0, 1},  // HPA present but off; CFA
      {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 2, 1, 1},  // all ones: word 83 bits 15-14 = 11
  };
  for (const Case& c : cases) {
    IdentifyWords w{};
    w[82] = c.w82;
    w[83] = c.w83;
    w[85] = c.w85;
    w[128] = c.w128;
    DriveRecord r = Decode(w);
    EXPECT_EQ(r.smartState, c.smart) << std::hex << c.w82 << " " << c.w83 << " " << c.w85;
    EXPECT_EQ(r.hpaState, c.hpa);
    EXPECT_EQ(r.securitySupported, c.security);
    EXPECT_EQ(r.cfaSupported, c.cfa);
  }
}

TEST(IdentifyDecoderTest, AllZeroAndAllOnesSectorsDecodeWithoutSurprises) {
  IdentifyWords zeros{};
  DriveRecord z = Decode(zeros);
  EXPECT_EQ(z.model, "");
  EXPECT_EQ(z.serial, "");
  EXPECT_EQ(z.firmware, "");
  EXPECT_EQ(z.sectorCount, 0u);
  EXPECT_EQ(z.mediaType, "FIXED(0000)");

  IdentifyWords ones;
  ones.fill(0xFFFF);
  DriveRecord o = Decode(ones);
  EXPECT_EQ(o.model, std::string(40, '\xFF'));
  EXPECT_EQ(o.serial, std::string(20, '\xFF'));
  EXPECT_EQ(o.udmaMode, 7);
  EXPECT_EQ(o.identifyWords, ones);
}

TEST(IdentifyDecoderTest, ChecksumStates) {
  IdentifyWords w{};
  PutText(w, 27, 20, "MODEL");
  EXPECT_EQ(CheckIdentifyChecksum(w), IdentifyChecksum::kAbsent);
  w[255] = 0x00A5;
  unsigned sum = 0;
  for (std::uint16_t word : w)
    sum += (word & 0xFF) + (word >> 8);
  w[255] = static_cast<std::uint16_t>(((0x100 - (sum & 0xFF)) & 0xFF) << 8 | 0xA5);
  EXPECT_EQ(CheckIdentifyChecksum(w), IdentifyChecksum::kValid);
  w[27] ^= 0x0100;
  EXPECT_EQ(CheckIdentifyChecksum(w), IdentifyChecksum::kBad);
}

TEST(IdentifyDecoderTest, WordsFromBytesAreLittleEndian) {
  std::array<std::uint8_t, 512> bytes{};
  bytes[0] = 0x40;
  bytes[1] = 0x00;
  bytes[54] = 'R';  // word 27 low byte
  bytes[55] = 'Q';  // word 27 high byte
  IdentifyWords w = IdentifyWordsFromBytes(bytes);
  EXPECT_EQ(w[0], 0x0040);
  EXPECT_EQ(w[27], 0x5152);
  EXPECT_EQ(IdentifyText(w, 27, 1, false), "QR");
}

}  // namespace
}  // namespace ds
