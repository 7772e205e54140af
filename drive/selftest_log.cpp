#include "drive/selftest_log.h"

#include <algorithm>

namespace ds {

namespace {

constexpr std::size_t kSectorBytes = 512;

// Where the descriptors lie and how they are read; one per log kind.
struct LogLayout {
  std::size_t firstDescriptor;  // byte offset in each sector
  std::size_t descriptorBytes;
  int perSector;
  int lbaBytes;
};
constexpr LogLayout kSmartLayout{2, 24, 21, 4};
constexpr LogLayout kExtendedLayout{4, 26, 19, 6};

std::optional<SelfTestLog> Decode(std::span<const std::uint8_t> data, const LogLayout& layout,
                                  int revision, int index, std::string* message) {
  const int count = layout.perSector * static_cast<int>(data.size() / kSectorBytes);
  if (index > count) {
    *message = "the self-test log names descriptor " + std::to_string(index) + " of " +
               std::to_string(count) + " as its newest";
    return std::nullopt;
  }
  SelfTestLog log;
  log.revision = revision;
  log.newestDescriptor = index;
  for (int step = 0; index != 0 && step < count; ++step) {
    const int descriptor = (index - 1 - step + count) % count + 1;
    const std::size_t page = static_cast<std::size_t>((descriptor - 1) / layout.perSector);
    const std::size_t slot = static_cast<std::size_t>((descriptor - 1) % layout.perSector);
    const std::span<const std::uint8_t> d =
        data.subspan(page * kSectorBytes + layout.firstDescriptor + slot * layout.descriptorBytes,
                     layout.descriptorBytes);
    if (std::all_of(d.begin(), d.end(), [](std::uint8_t b) { return b == 0; }))
      continue;
    SelfTestLogEntry entry;
    entry.descriptor = descriptor;
    entry.test = d[0];
    entry.status = d[1];
    entry.state = d[1] >> 4;
    entry.remainingPercent = (d[1] & 0x0F) * 10;
    entry.powerOnHours = d[2] | d[3] << 8;
    std::uint64_t lba = 0;
    for (int i = layout.lbaBytes - 1; i >= 0; --i)
      lba = lba << 8 | d[5 + static_cast<std::size_t>(i)];
    const std::uint64_t none = (std::uint64_t{1} << (8 * layout.lbaBytes)) - 1;
    if (entry.state >= 3 && entry.state <= 8 && lba != none)
      entry.failingLba = lba;
    log.entries.push_back(entry);
  }
  return log;
}

bool WholeSectors(std::span<const std::uint8_t> data, std::string* message) {
  if (!data.empty() && data.size() % kSectorBytes == 0)
    return true;
  *message = "a self-test log of " + std::to_string(data.size()) + " bytes is no whole sector";
  return false;
}

}  // namespace

std::optional<SelfTestLog> DecodeSmartSelfTestLog(std::span<const std::uint8_t> sector,
                                                  std::string* message) {
  if (!WholeSectors(sector, message))
    return std::nullopt;
  sector = sector.first(kSectorBytes);
  return Decode(sector, kSmartLayout, sector[0] | sector[1] << 8, sector[508], message);
}

std::optional<SelfTestLog> DecodeExtendedSelfTestLog(std::span<const std::uint8_t> pages,
                                                     std::string* message) {
  if (!WholeSectors(pages, message))
    return std::nullopt;
  return Decode(pages, kExtendedLayout, pages[0], pages[2] | pages[3] << 8, message);
}

std::string SelfTestTypeText(std::uint8_t test) {
  switch (test) {
    case 0x00:
      return "Off-line data collection";
    case 0x01:
      return "Short offline";
    case 0x02:
      return "Extended offline";
    case 0x03:
      return "Conveyance offline";
    case 0x04:
      return "Selective offline";
    case 0x7F:
      return "Abort offline test";
    case 0x81:
      return "Short captive";
    case 0x82:
      return "Extended captive";
    case 0x83:
      return "Conveyance captive";
    case 0x84:
      return "Selective captive";
    default:
      break;
  }
  return (test >= 0x40 && test <= 0x7E) || test >= 0x90 ? "Vendor (" + std::to_string(test) + ")"
                                                        : "Reserved (" + std::to_string(test) + ")";
}

}  // namespace ds
