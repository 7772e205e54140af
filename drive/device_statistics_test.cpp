#include "drive/device_statistics.h"

#include <gtest/gtest.h>

#include <functional>

namespace ds {
namespace {

using Id = DeviceStatisticId;
using Log = std::vector<std::uint8_t>;
constexpr std::uint64_t kSupported = 0x80, kValid = 0x40, kNormalized = 0x20, kDsn = 0x10,
                        kCondition = 0x08, kShown = kSupported | kValid;

void Put(Log& log, int page, std::size_t offset, std::uint64_t flags, std::uint64_t value) {
  const std::uint64_t qword = flags << 56 | (value & 0x00FFFFFFFFFFFFFF);
  for (std::size_t i = 0; i < 8; ++i)
    log[page * 512 + offset + i] = static_cast<std::uint8_t>(qword >> (8 * i));
}

// Pages 0-7, page 0 listing 1, 5 and 7, every header revision 1, and one value of each
// statistic shown: 1234 hours, sectors written and read, 35/70/-20 C, 7 %.
Log GoodLog() {
  Log log(8 * 512);
  for (int page = 0; page < 8; ++page)
    Put(log, page, 0, 0, std::uint64_t{static_cast<std::uint8_t>(page)} << 16 | 1);
  log[8] = 4, log[9] = 0, log[10] = 1, log[11] = 5, log[12] = 7;
  Put(log, 1, 0x10, kShown, 0xABCD000004D2);  // only bits 31:0 are hours
  Put(log, 1, 0x18, kShown | kDsn, 0x123456789ABC);
  Put(log, 1, 0x28, kShown, 99);
  Put(log, 5, 0x08, kShown, 35);
  Put(log, 5, 0x20, kShown, 70);
  Put(log, 5, 0x28, kShown, 0xEC);
  Put(log, 7, 0x08, kShown | kNormalized, 7);
  return log;
}

using Values = std::vector<DeviceStatistic>;
Values All(std::int64_t percentage, bool normalized = true, bool condition = false) {
  return {{Id::kPowerOnHours, 1234},
          {Id::kLogicalSectorsWritten, 0x123456789ABC},
          {Id::kLogicalSectorsRead, 99},
          {Id::kCurrentTemperature, 35},
          {Id::kHighestTemperature, 70},
          {Id::kLowestTemperature, -20},
          {Id::kPercentageUsed, percentage, normalized, condition}};
}

Values Without(Values values, std::initializer_list<Id> ids) {
  std::erase_if(values, [&](const DeviceStatistic& s) {
    return std::find(ids.begin(), ids.end(), s.id) != ids.end();
  });
  return values;
}

TEST(DeviceStatistics, DecodesSupportedValidValuesAndLeavesOutBadPages) {
  const Values noTemperatures =
      Without(All(7), {Id::kCurrentTemperature, Id::kHighestTemperature, Id::kLowestTemperature});
  // Name, change to the good log, values, problem part ("" none).
  // clang-format off
  const std::tuple<const char*, std::function<void(Log&)>, Values, const char*> cases[] = {
      {"all pages good", [](Log&) {}, All(7), ""},
      {"over 100 % with the condition met", [](Log& l) { Put(l, 7, 8, kShown | kCondition, 0x1FF6B); }, All(107, false, true), ""},
      {"unsupported", [](Log& l) { Put(l, 1, 0x28, kValid, 99); }, Without(All(7), {Id::kLogicalSectorsRead}), ""},
      {"not valid", [](Log& l) { Put(l, 5, 0x08, kSupported | kNormalized, 35); }, Without(All(7), {Id::kCurrentTemperature}), ""},
      {"negative current temperature", [](Log& l) { Put(l, 5, 0x08, kShown, 0xFFFFFFFFFB); }, [] { Values v = All(7); v[3].value = -5; return v; }(), ""},
      {"temperature page revision 0", [](Log& l) { l[5 * 512] = 0; }, noTemperatures, "page 5 has revision 0"},
      {"temperature page headed as 6", [](Log& l) { l[5 * 512 + 2] = 6; }, noTemperatures, "page 5 is headed as page 6"},
      {"temperature page not listed", [](Log& l) { l[11] = 4; }, noTemperatures, ""},
      {"solid-state page not read", [](Log& l) { l.resize(7 * 512); }, Without(All(7), {Id::kPercentageUsed}), "page 7 is listed but was not read"},
      {"page 0 headed as page 1", [](Log& l) { l[2] = 1; }, {}, "page 0 is headed as page 1"},
      {"nothing read", [](Log& l) { l.clear(); }, {}, "page 0 was not read"}};
  // clang-format on
  for (const auto& [name, change, values, problem] : cases) {
    SCOPED_TRACE(name);
    Log log = GoodLog();
    change(log);
    const DeviceStatistics decoded = DecodeDeviceStatistics(log);
    EXPECT_EQ(decoded.values, values);
    EXPECT_EQ(decoded.problems,
              *problem ? std::vector<std::string>{problem} : std::vector<std::string>{});
  }
  EXPECT_EQ(DecodeDeviceStatistics(GoodLog()).Value(Id::kPercentageUsed), 7);
}

}  // namespace
}  // namespace ds
