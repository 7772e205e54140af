#include "drive/device_statistics.h"

#include <algorithm>

namespace ds {

namespace {

constexpr int kSolidStatePage = 7;

// Where each statistic lives and how wide its value is.
struct Layout {
  DeviceStatisticId id;
  int page;
  std::size_t offset;
  int bits;
  bool isSigned;
  const char* name;
  const char* key;
  const char* unit;
};

constexpr Layout kLayouts[] = {
    {DeviceStatisticId::kPowerOnHours, 1, 0x10, 32, false, "Power-on hours", "powerOnHours", ""},
    {DeviceStatisticId::kLogicalSectorsWritten, 1, 0x18, 48, false, "Logical sectors written",
     "logicalSectorsWritten", ""},
    {DeviceStatisticId::kLogicalSectorsRead, 1, 0x28, 48, false, "Logical sectors read",
     "logicalSectorsRead", ""},
    {DeviceStatisticId::kCurrentTemperature, 5, 0x08, 8, true, "Current temperature",
     "currentTemperature", " C"},
    {DeviceStatisticId::kHighestTemperature, 5, 0x20, 8, true, "Highest temperature (lifetime)",
     "highestTemperature", " C"},
    {DeviceStatisticId::kLowestTemperature, 5, 0x28, 8, true, "Lowest temperature (lifetime)",
     "lowestTemperature", " C"},
    {DeviceStatisticId::kPercentageUsed, kSolidStatePage, 0x08, 8, false,
     "Percentage used endurance indicator", "percentageUsed", " %"},
};

constexpr std::uint64_t kSupported = std::uint64_t{1} << 63;
constexpr std::uint64_t kValid = std::uint64_t{1} << 62;
constexpr std::uint64_t kNormalized = std::uint64_t{1} << 61;
constexpr std::uint64_t kConditionMet = std::uint64_t{1} << 59;

const Layout& LayoutOf(DeviceStatisticId id) {
  return kLayouts[static_cast<std::size_t>(id)];
}

std::uint64_t Qword(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::uint64_t value = 0;
  for (std::size_t i = 8; i-- > 0;)
    value = value << 8 | bytes[at + i];
  return value;
}

// The header problem of `page`, "" when its revision is set and its number is `number`.
std::string HeaderProblem(std::span<const std::uint8_t> page, int number) {
  const unsigned revision = page[0] | page[1] << 8;
  if (revision == 0)
    return "page " + std::to_string(number) + " has revision 0";
  if (page[2] != number) {
    return "page " + std::to_string(number) + " is headed as page " + std::to_string(page[2]);
  }
  return "";
}

}  // namespace

std::optional<std::int64_t> DeviceStatistics::Value(DeviceStatisticId id) const {
  for (const DeviceStatistic& statistic : values) {
    if (statistic.id == id)
      return statistic.value;
  }
  return std::nullopt;
}

const char* DeviceStatisticName(DeviceStatisticId id) {
  return LayoutOf(id).name;
}

const char* DeviceStatisticKey(DeviceStatisticId id) {
  return LayoutOf(id).key;
}

std::string DeviceStatisticText(const DeviceStatistic& statistic) {
  return std::to_string(statistic.value) + LayoutOf(statistic.id).unit;
}

DeviceStatistics DecodeDeviceStatistics(std::span<const std::uint8_t> log) {
  DeviceStatistics out;
  const std::size_t pagesRead = log.size() / kAtaSectorBytes;
  const auto page = [&log](std::size_t n) {
    return log.subspan(n * kAtaSectorBytes, kAtaSectorBytes);
  };
  if (pagesRead == 0) {
    out.problems.push_back("page 0 was not read");
    return out;
  }
  if (std::string problem = HeaderProblem(page(0), 0); !problem.empty()) {
    out.problems.push_back(problem);
    return out;
  }
  // Byte 8 counts the listed pages, bytes 9 on name them.
  const std::span<const std::uint8_t> list =
      page(0).subspan(9, std::min<std::size_t>(page(0)[8], 503));
  int lastPage = 0;
  bool pageUsable = false;
  for (const Layout& layout : kLayouts) {
    if (layout.page != lastPage) {
      lastPage = layout.page;
      const std::string name = "page " + std::to_string(layout.page);
      pageUsable = false;
      if (std::find(list.begin(), list.end(), layout.page) == list.end())
        continue;  // a page the disk does not keep
      if (static_cast<std::size_t>(layout.page) >= pagesRead) {
        out.problems.push_back(name + " is listed but was not read");
      } else if (std::string problem = HeaderProblem(page(layout.page), layout.page);
                 !problem.empty()) {
        out.problems.push_back(problem);
      } else {
        pageUsable = true;
      }
    }
    if (!pageUsable)
      continue;
    const std::uint64_t raw = Qword(page(layout.page), layout.offset);
    if ((raw & kSupported) == 0 || (raw & kValid) == 0)
      continue;
    const std::uint64_t mask = (std::uint64_t{1} << layout.bits) - 1;
    std::int64_t value = static_cast<std::int64_t>(raw & mask);
    if (layout.isSigned && layout.bits == 8)
      value = static_cast<std::int8_t>(raw & 0xFF);
    out.values.push_back(
        DeviceStatistic{layout.id, value, (raw & kNormalized) != 0, (raw & kConditionMet) != 0});
  }
  return out;
}

bool ReadDeviceStatistics(AtaDevice& device, const IdentifyWords& identifyWords,
                          const LogDirectory& directory, DeviceStatistics* statistics,
                          std::string* message) {
  const std::uint16_t pages = directory.PageCount(kDeviceStatisticsLog);
  if (pages == 0) {
    *message = "the log directory lists no device statistics";
    return false;
  }
  const auto count = static_cast<std::uint16_t>(std::min<int>(pages, kSolidStatePage + 1));
  std::vector<std::uint8_t> log;
  if (!ReadLogPages(device, identifyWords, kDeviceStatisticsLog, 0, count, &log, message))
    return false;
  *statistics = DecodeDeviceStatistics(log);
  return true;
}

}  // namespace ds
