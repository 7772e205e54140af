#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The self-test logs a disk keeps of its last tests, decoded from raw log sectors:
//   SMART self-test log (SMART READ LOG 06h): one sector; bytes 0-1 revision, 21
//     descriptors of 24 bytes from byte 2, byte 508 the index (1-21) of the newest one.
//   Extended self-test log (GPL 07h): pages of 19 descriptors of 26 bytes from byte 4,
//     bytes 2-3 of the first page the index (from 1, across all pages) of the newest; it
//     carries 48-bit failing LBAs, so it is the one to read for LBAs of 2^28 and above.
// Descriptor: byte 0 the test (LBA low of the command that started it), byte 1 its
// execution status, bytes 2-3 power-on hours, byte 4 the checkpoint, then the first
// failing LBA (4 bytes, 6 in the extended log). Index 0 is an empty log; the descriptors
// form a ring, so the newest is followed (backwards) by the rest, wrapping around.
namespace ds {

struct SelfTestLogEntry {
  int descriptor = 0;       // position in the log, from 1
  std::uint8_t test = 0;    // 01h short, 02h extended, 81h/82h captive, ...
  std::uint8_t status = 0;  // the execution status byte
  int state = 0;            // its high nibble (SelfTestStateText)
  int remainingPercent = 0;
  int powerOnHours = 0;
  // The first failing LBA, for a test that failed (states 3-8) and named one.
  std::optional<std::uint64_t> failingLba;
};

struct SelfTestLog {
  int revision = 0;
  int newestDescriptor = 0;               // the index; 0: empty
  std::vector<SelfTestLogEntry> entries;  // newest first; empty descriptors left out
  bool extended = false;  // read from the extended (general purpose) log, not the SMART one
};

// The log in `sector` (512 bytes). Empty with `message` set when the size or the index is
// out of range.
std::optional<SelfTestLog> DecodeSmartSelfTestLog(std::span<const std::uint8_t> sector,
                                                  std::string* message);

// The log in `pages` (whole 512-byte pages, at least one).
std::optional<SelfTestLog> DecodeExtendedSelfTestLog(std::span<const std::uint8_t> pages,
                                                     std::string* message);

// "Short offline", "Extended offline", "Abort", "Short captive", ... for byte 0.
std::string SelfTestTypeText(std::uint8_t test);

}  // namespace ds
