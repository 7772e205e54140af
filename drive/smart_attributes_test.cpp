#include "drive/smart_attributes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace ds {
namespace {

struct Slot {
  std::uint8_t id;
  std::uint64_t raw = 0;  // 7 bytes: six raw bytes and the reserved byte
  std::uint8_t current = 100, worst = 100;
  std::uint16_t flags = 0x0032;
};

SmartSector DataSector(const std::vector<Slot>& slots) {
  SmartSector s{};
  s[0] = 0x10;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    std::uint8_t* at = s.data() + 2 + 12 * i;
    const Slot& slot = slots[i];
    at[0] = slot.id;
    at[1] = static_cast<std::uint8_t>(slot.flags);
    at[2] = static_cast<std::uint8_t>(slot.flags >> 8);
    at[3] = slot.current;
    at[4] = slot.worst;
    for (int b = 0; b < 7; ++b)
      at[5 + b] = static_cast<std::uint8_t>(slot.raw >> (8 * b));
  }
  return s;
}

AttributeTable Table(const std::vector<int>& ids) {
  AttributeTable table;
  for (int id : ids)
    table.push_back({static_cast<std::uint8_t>(id), "attr " + std::to_string(id)});
  return table;
}

SmartSnapshot List(const std::vector<Slot>& slots, const std::vector<int>& table, int series = 0) {
  SmartSnapshot s;
  s.modelSeries = series;
  s.peCycleLimit = 5000;
  s.thresholdById[194] = 10;
  ListSmartAttributes(DataSector(slots), Table(table), &s);
  return s;
}

TEST(SmartAttributesTest, ListFollowsTableOrderAndSkipsWhatItMustSkip) {
  // Left out: id 1 (current and worst 0), the second id 9, the id 0 slot, id 200 (not in
  // the table); id 5 has a worst value only, which is enough.
  const SmartSnapshot s =
      List({{9, 1234}, {1, 5, 0, 0}, {12, 77}, {9, 999, 90, 90}, {0, 1}, {200, 1}, {5, 3, 0, 1}},
           {12, 5, 9, 1, 0});
  std::vector<int> ids;
  for (const SmartAttribute& a : s.attributes)
    ids.push_back(a.id);
  EXPECT_EQ(ids, (std::vector<int>{12, 5, 9}));
  EXPECT_EQ(s.attributeCount, 3);
  EXPECT_EQ(s.powerOnHours, 1234u);
  EXPECT_EQ(s.powerCycles, 77u);
  EXPECT_EQ(s.reallocatedRaw, 3u);
  EXPECT_EQ(s.attributes[2].name, "attr 9");
  EXPECT_EQ(s.attributes[2].current, 100u);
}

TEST(SmartAttributesTest, FieldsTextsAndTheSevenByteRaw) {
  const SmartSnapshot s = List(
      {{194, 0x0000'0E00'3600'1Aull, 70, 46, 0x0022}, {167, 0x01'0203'0405'0607ull}}, {194, 167});
  ASSERT_EQ(s.attributeCount, 2);
  const SmartAttribute& a = s.attributes[0];
  EXPECT_EQ(a.raw, 0x1Au);  // temperature attribute: raw byte 0 only
  EXPECT_EQ(s.temperature, 26);
  EXPECT_EQ(a.flagsText() + " " + a.currentText() + " " + a.worstText() + " " + a.thresholdText(),
            "0x0022 70 46 10");
  // Six raw bytes and the reserved byte, least significant first.
  EXPECT_EQ(s.attributes[1].raw, 0x01'0203'0405'0607ull);
  EXPECT_EQ(s.attr167Raw, 0x01'0203'0405'0607ull);
}

// Series 0 sums up attribute 5 only; the others also 170, 231 and 196, the later of 5 and
// 196 in table order giving the reallocated count.
TEST(SmartAttributesTest, SeriesDecidesWhether170And196And231AreSummarised) {
  struct Case {
    int series;
    std::vector<int> table;
    std::uint64_t reallocated, a170, a231;
  };
  const std::vector<int> order = {5, 170, 196, 231};
  // clang-format off
  const Case cases[] = {{0, order, 5, 0, 0}, {1, order, 196, 170, 231}, {2, order, 196, 170, 231},
                        {99, order, 196, 170, 231}, {1, {196, 5}, 5, 0, 0}};
  // clang-format on
  for (const Case& c : cases) {
    const SmartSnapshot s = List({{5, 5}, {170, 170}, {196, 196}, {231, 231}}, c.table, c.series);
    EXPECT_EQ(s.attributeCount, static_cast<int>(c.table.size()));
    EXPECT_EQ(s.reallocatedRaw, c.reallocated) << c.series;
    EXPECT_EQ(s.attr170Raw, c.a170) << c.series;
    EXPECT_EQ(s.attr231Raw, c.a231) << c.series;
  }
}

TEST(SmartAttributesTest, PeCycleLimitFromAttribute168) {
  const std::pair<std::uint64_t, int> cases[] = {{0, 3000},
                                                 {1, 1},
                                                 {0x7FFF'FFFFull, 0x7FFF'FFFF},
                                                 {0x8000'0000ull, 3000},
                                                 {0xFFFF'FFFF'FFFFull, 3000}};
  for (const auto& [raw, limit] : cases)
    EXPECT_EQ(PeCycleLimitFromRaw(raw), limit) << raw;
  EXPECT_EQ(List({{168, 10000}}, {9, 168}).peCycleLimit, 10000);
  EXPECT_EQ(List({{9, 1}}, {9, 168}).peCycleLimit, 5000);  // no attribute 168: the limit stays
}

TEST(SmartAttributesTest, OnlyTheThirtyAttributeSlotsAreScanned) {
  std::vector<Slot> slots(29, Slot{0});
  slots.push_back({30});  // in the last slot
  SmartSector sector = DataSector(slots);
  // Off-line collection status and self-test bytes that look like a slot of id 0x84.
  const std::uint8_t offline[] = {0x84, 0x19, 0xF0, 0x87, 0x01, 0x7B, 0x03, 0x00, 0x01};
  std::copy(std::begin(offline), std::end(offline), sector.begin() + 362);
  SmartSnapshot s;
  ListSmartAttributes(sector, Table({0x84, 30}), &s);
  ASSERT_EQ(s.attributeCount, 1);
  EXPECT_EQ(s.attributes[0].id, 30);
}

TEST(SmartAttributesTest, ThresholdSectorSetsNonZeroIdsOnly) {
  SmartSector t{};
  t[2] = 5;
  t[3] = 36;
  t[15] = 99;  // id 0 slot: ignored
  t[26] = 194;
  std::array<std::uint8_t, 256> byId{};
  byId[194] = 7;
  byId[9] = 8;  // not in the sector: kept
  ApplyThresholdSector(t, &byId);
  EXPECT_EQ((std::vector<int>{byId[5], byId[0], byId[194], byId[9]}),
            (std::vector<int>{36, 0, 0, 8}));
}

TEST(SmartAttributesTest, ControllerSignature) {
  struct Case {
    const char* text;
    bool signature, sm2246, other;
  };
  // clang-format off
  const Case cases[] = {{"SM2246", true, true, false}, {"SM2258", true, false, true},
                        {"SM\0\0\0\0", true, false, true}, {"sm2246", false, false, false},
                        {"XM2246", false, false, false}};
  // clang-format on
  for (const Case& c : cases) {
    SmartSector sector{};
    std::memcpy(sector.data() + 400, c.text, 6);
    SmartSnapshot s;
    s.modelSeries = 1;
    ApplyControllerSignature(sector, &s);
    EXPECT_EQ(s.smartSignature, c.signature) << c.text;
    EXPECT_EQ(s.isSm2246, c.sm2246) << c.text;
    EXPECT_EQ(s.isOtherSm, c.other) << c.text;
    EXPECT_EQ(s.modelSeries, c.signature ? 0 : 1) << c.text;
  }
}

}  // namespace
}  // namespace ds
