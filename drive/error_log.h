#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The disk's own record of commands that ended in an error, decoded from raw log sectors:
//   Summary error log (SMART READ LOG 01h): one sector; byte 1 the index (1-5) of the
//     newest entry, five entries of 90 bytes from byte 2, bytes 452-453 the error count.
//   Extended comprehensive error log (GPL 03h): pages of four entries of 124 bytes from
//     byte 4, bytes 2-3 of the first page the index (from 1, across all pages) of the
//     newest, bytes 500-501 the error count; 48-bit LBAs.
// An entry is five command structures (the last is the command that failed) and the
// error structure: the registers the disk returned, its state and its power-on hours.
namespace ds {

struct ErrorLogEntry {
  int number = 0;               // the error's number counted from the disk's first (count - k)
  std::uint8_t command = 0;     // the command that failed
  std::uint8_t error = 0;       // error register
  std::uint8_t status = 0;      // status register
  std::uint8_t state = 0;       // the disk's state when it happened (0 unknown, 1 sleep, ...)
  std::uint64_t lba = 0;        // LBA registers: 28 bits in the summary log, 48 in the extended
  int powerOnHours = 0;         // life timestamp
  std::uint32_t commandMs = 0;  // the failed command's timestamp, ms since power-on
};

struct ErrorLog {
  int errorCount = 0;                  // errors since the disk was made (16 bits, may wrap)
  std::vector<ErrorLogEntry> entries;  // newest first; empty entries left out
  bool extended = false;  // read from the extended (general purpose) log, not the SMART one
};

// The log in `sector` (512 bytes). Empty with `message` set when the size or index is wrong.
std::optional<ErrorLog> DecodeSummaryErrorLog(std::span<const std::uint8_t> sector,
                                              std::string* message);

// The log in `pages` (whole 512-byte pages, at least one).
std::optional<ErrorLog> DecodeExtendedErrorLog(std::span<const std::uint8_t> pages,
                                               std::string* message);

}  // namespace ds
