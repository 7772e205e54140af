#include "drive/smart_attributes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
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
  for (std::size_t i = 0; i < slots.size(); ++i) {
    std::uint8_t* at = s.data() + 2 + 12 * i;
    at[0] = slots[i].id, at[1] = slots[i].flags & 0xFF, at[2] = slots[i].flags >> 8;
    at[3] = slots[i].current, at[4] = slots[i].worst;
    for (int b = 0; b < 7; ++b)
      at[5 + b] = static_cast<std::uint8_t>(slots[i].raw >> (8 * b));
  }
  return s;
}

SmartSnapshot List(const std::vector<Slot>& slots, const std::vector<int>& ids, int series = 0) {
  SmartSnapshot s;
  s.modelSeries = series;
  AttributeTable table;
  for (int id : ids)
    table.push_back({static_cast<std::uint8_t>(id), "attr " + std::to_string(id)});
  ListSmartAttributes(DataSector(slots), table, &s);
  return s;
}

// Out: id 1 (current, worst 0), a second 9, id 0, 200 (not in the table); raws keep byte 7,
// flags both bytes.
TEST(SmartAttributesTest, ListFollowsTableOrderAndSkipsWhatItMustSkip) {
  const std::vector<Slot> slots = {
      {9, 1234},        {1, 5, 0, 0}, {167, 0x01'0203'0405'0607ull, 100, 100, 0x1A2B},
      {9, 999, 90, 90}, {0, 1},       {200, 1},
      {5, 3, 0, 1}};
  const SmartSnapshot s = List(slots, {167, 5, 9, 1, 0});
  std::vector<int> ids;
  for (const SmartAttribute& a : s.attributes)
    ids.push_back(a.id);
  EXPECT_EQ(std::tuple(ids, s.powerOnHours, s.reallocatedRaw, s.attr167Raw, s.attributes[0].flags),
            std::tuple(std::vector<int>{167, 5, 9}, 1234u, 3u, 0x01'0203'0405'0607ull, 0x1A2Bu));
  // Series 0 leaves 170 out; the later of 5 and 196 in table order gives the reallocated count.
  EXPECT_EQ(List({{170, 170}}, {170}, 0).attr170Raw, 0u);
  EXPECT_EQ(List({{5, 5}, {196, 196}}, {196, 5}, 1).reallocatedRaw, 5u);
}

TEST(SmartAttributesTest, PeCycleLimitFromAttribute168) {
  const std::pair<std::uint64_t, int> cases[] = {
      {0, 3000}, {1, 1}, {0x7FFF'FFFFull, 0x7FFF'FFFF}, {0x8000'0000ull, 3000}};
  for (const auto& [raw, limit] : cases)
    EXPECT_EQ(PeCycleLimitFromRaw(raw), limit) << raw;
}

TEST(SmartAttributesTest, ControllerSignature) {
  // isSm2246 * 2 + isOtherSm, -1: none
  const std::pair<const char*, int> cases[] = {
      {"SM2246", 2}, {"SM2258", 1}, {"sm2246", -1}, {"XM2246", -1}};
  for (const auto& [text, expected] : cases) {
    SmartSector sector{};
    std::memcpy(sector.data() + 400, text, 6);
    SmartSnapshot s;
    s.modelSeries = 1;
    ApplyControllerSignature(sector, &s);
    EXPECT_EQ(s.smartSignature ? s.isSm2246 * 2 + s.isOtherSm : -1, expected) << text;
    EXPECT_EQ(s.modelSeries, expected < 0 ? 1 : 0) << text;
  }
}

}  // namespace
}  // namespace ds
