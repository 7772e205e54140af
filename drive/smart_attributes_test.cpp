#include "drive/smart_attributes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace ds {
namespace {

struct Slot {
  std::uint8_t id;
  std::uint16_t flags;
  std::uint8_t current, worst;
  std::uint64_t raw;  // 7 bytes: six raw bytes and the reserved byte
};

SmartSector DataSector(const std::vector<Slot>& slots) {
  SmartSector s{};
  s[0] = 0x10;
  std::size_t offset = 2;
  for (const Slot& slot : slots) {
    s[offset] = slot.id;
    s[offset + 1] = static_cast<std::uint8_t>(slot.flags);
    s[offset + 2] = static_cast<std::uint8_t>(slot.flags >> 8);
    s[offset + 3] = slot.current;
    s[offset + 4] = slot.worst;
    for (int i = 0; i < 7; ++i)
      s[offset + 5 + i] = static_cast<std::uint8_t>(slot.raw >> (8 * i));
    offset += 12;
  }
  return s;
}

AttributeTable Table(std::initializer_list<int> ids) {
  AttributeTable table;
  for (int id : ids)
    table.push_back({static_cast<std::uint8_t>(id), "attr " + std::to_string(id)});
  return table;
}

std::vector<int> ListedIds(const SmartSnapshot& s) {
  std::vector<int> ids;
  for (const SmartAttribute& a : s.attributes)
    ids.push_back(a.id);
  return ids;
}

TEST(SmartAttributesTest, ListFollowsTableOrderAndSkipsWhatItMustSkip) {
  SmartSector sector = DataSector({
      {9, 0x0032, 100, 100, 1234},
      {1, 0x000F, 0, 0, 5},  // current and worst 0: left out
      {12, 0x0032, 100, 100, 77},
      {9, 0x0032, 90, 90, 999},    // duplicate: the first slot wins
      {0, 0x0032, 100, 100, 1},    // id 0 slot
      {200, 0x0032, 100, 100, 1},  // not in the table
      {5, 0x0033, 0, 1, 3},        // worst alone is enough
  });
  SmartSnapshot s;
  ListSmartAttributes(sector, Table({12, 5, 9, 1, 0}), &s);
  EXPECT_EQ(ListedIds(s), (std::vector<int>{12, 5, 9}));
  EXPECT_EQ(s.attributeCount, 3);
  EXPECT_EQ(s.powerOnHours, 1234u);
  EXPECT_EQ(s.powerCycles, 77u);
  EXPECT_EQ(s.reallocatedRaw, 3u);
  EXPECT_EQ(s.attributes[2].name, "attr 9");
  EXPECT_EQ(s.attributes[2].current, 100u);
}

TEST(SmartAttributesTest, FieldsAndTexts) {
  SmartSector sector = DataSector({{194, 0x0022, 70, 46, 0x0000'0E00'3600'1Aull}});
  SmartSnapshot s;
  s.thresholdById[194] = 10;
  ListSmartAttributes(sector, Table({194}), &s);
  ASSERT_EQ(s.attributeCount, 1);
  const SmartAttribute& a = s.attributes[0];
  EXPECT_EQ(a.raw, 0x1Au);  // temperature attribute: raw byte 0 only
  EXPECT_EQ(s.temperature, 26);
  EXPECT_EQ(a.flagsText(), "0x0022");
  EXPECT_EQ(a.currentText(), "70");
  EXPECT_EQ(a.worstText(), "46");
  EXPECT_EQ(a.thresholdText(), "10");
}

TEST(SmartAttributesTest, RawIsSevenBytesLittleEndianUpToTheLargestValue) {
  struct Case {
    std::uint64_t raw;
  };
  const Case cases[] = {
      {0}, {1}, {0xFFFF'FFFF'FFFFull}, {0xFF'FFFF'FFFF'FFFFull}, {0x0102'0304'0506ull}};
  for (const Case& c : cases) {
    SmartSnapshot s;
    ListSmartAttributes(DataSector({{167, 0, 100, 100, c.raw}}), Table({167}), &s);
    ASSERT_EQ(s.attributeCount, 1);
    EXPECT_EQ(s.attributes[0].raw, c.raw);
    EXPECT_EQ(s.attr167Raw, c.raw);
  }
}

TEST(SmartAttributesTest, SeriesDecidesWhether170And196And231AreSummarised) {
  struct Case {
    int series;
    std::uint64_t reallocated, a170, a231;
  };
  const Case cases[] = {{0, 5, 0, 0}, {1, 196, 170, 231}, {2, 196, 170, 231}, {99, 196, 170, 231}};
  for (const Case& c : cases) {
    SmartSector sector = DataSector({{5, 0, 100, 100, 5},
                                     {170, 0, 100, 100, 170},
                                     {196, 0, 100, 100, 196},
                                     {231, 0, 100, 100, 231}});
    SmartSnapshot s;
    s.modelSeries = c.series;
    ListSmartAttributes(sector, Table({5, 170, 196, 231}), &s);
    EXPECT_EQ(s.attributeCount, 4);
    EXPECT_EQ(s.reallocatedRaw, c.reallocated) << c.series;
    EXPECT_EQ(s.attr170Raw, c.a170);
    EXPECT_EQ(s.attr231Raw, c.a231);
  }
}

TEST(SmartAttributesTest, LaterOf5And196InTableOrderWins) {
  SmartSector sector = DataSector({{5, 0, 100, 100, 5}, {196, 0, 100, 100, 196}});
  SmartSnapshot s;
  s.modelSeries = 1;
  ListSmartAttributes(sector, Table({196, 5}), &s);
  EXPECT_EQ(s.reallocatedRaw, 5u);
}

TEST(SmartAttributesTest, PeCycleLimitFromAttribute168) {
  struct Case {
    std::uint64_t raw;
    int expected;
  };
  const Case cases[] = {{0, 3000},
                        {1, 1},
                        {10000, 10000},
                        {0x7FFF'FFFFull, 0x7FFF'FFFF},
                        {0x8000'0000ull, 3000},
                        {0xFFFF'FFFF'FFFFull, 3000}};
  for (const Case& c : cases) {
    SmartSnapshot s;
    s.peCycleLimit = 5000;
    ListSmartAttributes(DataSector({{168, 0, 100, 100, c.raw}}), Table({168}), &s);
    EXPECT_EQ(s.peCycleLimit, c.expected) << c.raw;
  }
  SmartSnapshot without168;
  without168.peCycleLimit = 5000;
  ListSmartAttributes(DataSector({{9, 0, 100, 100, 1}}), Table({9, 168}), &without168);
  EXPECT_EQ(without168.peCycleLimit, 5000);
}

TEST(SmartAttributesTest, OnlyTheThirtyAttributeSlotsAreScanned) {
  std::vector<Slot> slots;
  for (int i = 0; i < 30; ++i)
    slots.push_back({static_cast<std::uint8_t>(i + 1), 0, 100, 100, 0});
  SmartSector sector = DataSector(slots);
  // Off-line collection status and self-test bytes that look like a slot of id 0x84.
  const std::uint8_t offline[] = {0x84, 0x19, 0xF0, 0x87, 0x01, 0x7B, 0x03, 0x00, 0x01};
  std::copy(std::begin(offline), std::end(offline), sector.begin() + 362);
  AttributeTable table;
  for (int id = 1; id <= 255; ++id)
    table.push_back({static_cast<std::uint8_t>(id), "x"});
  SmartSnapshot s;
  ListSmartAttributes(sector, table, &s);
  EXPECT_EQ(s.attributeCount, 30);
  for (const SmartAttribute& a : s.attributes)
    EXPECT_NE(a.id, 0x84);
}

TEST(SmartAttributesTest, ThresholdSectorSetsNonZeroIdsOnly) {
  SmartSector t{};
  t[2] = 5;
  t[3] = 36;
  t[14] = 0;  // id 0 slot: ignored
  t[15] = 99;
  t[26] = 194;
  t[27] = 0;
  std::array<std::uint8_t, 256> byId{};
  byId[194] = 7;
  byId[9] = 8;
  ApplyThresholdSector(t, &byId);
  EXPECT_EQ(byId[5], 36);
  EXPECT_EQ(byId[0], 0);
  EXPECT_EQ(byId[194], 0);
  EXPECT_EQ(byId[9], 8);  // not in the sector: kept
}

TEST(SmartAttributesTest, ControllerSignature) {
  struct Case {
    const char* text;
    bool signature, sm2246, other;
    int series;
  };
  const Case cases[] = {
      {"SM2246", true, true, false, 0},     {"SM2258", true, false, true, 0},
      {"SM\0\0\0\0", true, false, true, 0}, {"sm2246", false, false, false, 1},
      {"XM2246", false, false, false, 1},
  };
  for (const Case& c : cases) {
    SmartSector sector{};
    std::memcpy(sector.data() + 400, c.text, 6);
    SmartSnapshot s;
    s.modelSeries = 1;
    ApplyControllerSignature(sector, &s);
    EXPECT_EQ(s.smartSignature, c.signature) << c.text;
    EXPECT_EQ(s.isSm2246, c.sm2246) << c.text;
    EXPECT_EQ(s.isOtherSm, c.other) << c.text;
    EXPECT_EQ(s.modelSeries, c.series) << c.text;
  }
}

}  // namespace
}  // namespace ds
