#include "drive/error_log.h"

#include <algorithm>

namespace ds {

namespace {

constexpr std::size_t kSectorBytes = 512;

struct LogLayout {
  std::size_t firstEntry;  // byte offset in each sector
  std::size_t entryBytes;
  int perSector;
  std::size_t lastCommand;  // offset of the failed command's structure in an entry
  std::size_t errorData;    // offset of the error structure in an entry
};
constexpr LogLayout kSummaryLayout{2, 90, 5, 48, 60};
constexpr LogLayout kExtendedLayout{4, 124, 4, 72, 90};

std::uint32_t Le32(std::span<const std::uint8_t> d) {
  return static_cast<std::uint32_t>(d[0] | d[1] << 8 | d[2] << 16) |
         static_cast<std::uint32_t>(d[3]) << 24;
}

// The registers of one entry's error structure `e` and its failed command `c`.
void ReadSummaryEntry(std::span<const std::uint8_t> c, std::span<const std::uint8_t> e,
                      ErrorLogEntry* entry) {
  entry->command = c[7];
  entry->commandMs = Le32(c.subspan(8, 4));
  entry->error = e[1];
  entry->lba = e[3] | e[4] << 8 | e[5] << 16 | (e[6] & 0x0F) << 24;
  entry->status = e[7];
  entry->state = e[27];
  entry->powerOnHours = e[28] | e[29] << 8;
}

void ReadExtendedEntry(std::span<const std::uint8_t> c, std::span<const std::uint8_t> e,
                       ErrorLogEntry* entry) {
  entry->command = c[12];
  entry->commandMs = Le32(c.subspan(14, 4));
  entry->error = e[1];
  // LBA bytes alternate low and high: 7:0, 31:24, 15:8, 39:32, 23:16, 47:40.
  entry->lba = std::uint64_t{e[4]} | std::uint64_t{e[6]} << 8 | std::uint64_t{e[8]} << 16 |
               std::uint64_t{e[5]} << 24 | std::uint64_t{e[7]} << 32 | std::uint64_t{e[9]} << 40;
  entry->status = e[11];
  entry->state = e[31];
  entry->powerOnHours = e[32] | e[33] << 8;
}

using EntryReader = void (*)(std::span<const std::uint8_t>, std::span<const std::uint8_t>,
                             ErrorLogEntry*);

std::optional<ErrorLog> Decode(std::span<const std::uint8_t> data, const LogLayout& layout,
                               int index, int errorCount, EntryReader read, std::string* message) {
  if (data.empty() || data.size() % kSectorBytes != 0) {
    *message = "an error log of " + std::to_string(data.size()) + " bytes is no whole sector";
    return std::nullopt;
  }
  const int count = layout.perSector * static_cast<int>(data.size() / kSectorBytes);
  if (index > count) {
    *message = "the error log names entry " + std::to_string(index) + " of " +
               std::to_string(count) + " as its newest";
    return std::nullopt;
  }
  ErrorLog log;
  log.errorCount = errorCount;
  for (int step = 0; index != 0 && step < count; ++step) {
    const int at = (index - 1 - step + count) % count;
    const std::size_t page = static_cast<std::size_t>(at / layout.perSector);
    const std::size_t slot = static_cast<std::size_t>(at % layout.perSector);
    const std::span<const std::uint8_t> bytes = data.subspan(
        page * kSectorBytes + layout.firstEntry + slot * layout.entryBytes, layout.entryBytes);
    if (std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; }))
      continue;
    ErrorLogEntry entry;
    entry.number = errorCount - step;
    read(bytes.subspan(layout.lastCommand), bytes.subspan(layout.errorData), &entry);
    log.entries.push_back(entry);
  }
  return log;
}

}  // namespace

std::optional<ErrorLog> DecodeSummaryErrorLog(std::span<const std::uint8_t> sector,
                                              std::string* message) {
  if (sector.size() < kSectorBytes)
    return Decode(sector, kSummaryLayout, 0, 0, ReadSummaryEntry, message);
  sector = sector.first(kSectorBytes);
  return Decode(sector, kSummaryLayout, sector[1], sector[452] | sector[453] << 8, ReadSummaryEntry,
                message);
}

std::optional<ErrorLog> DecodeExtendedErrorLog(std::span<const std::uint8_t> pages,
                                               std::string* message) {
  if (pages.size() < kSectorBytes)
    return Decode(pages, kExtendedLayout, 0, 0, ReadExtendedEntry, message);
  return Decode(pages, kExtendedLayout, pages[2] | pages[3] << 8, pages[500] | pages[501] << 8,
                ReadExtendedEntry, message);
}

}  // namespace ds
