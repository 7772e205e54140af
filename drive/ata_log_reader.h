#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ata_device.h"
#include "platform/identify_words.h"

// Reads a disk's logs by address and page: READ LOG EXT (2Fh) where IDENTIFY says the
// general purpose logging feature set is supported, SMART READ LOG (B0h/D5h) otherwise,
// and the log directory (log 00h) that tells which logs exist and how many pages each
// holds. Stateless; the caller opens the disk.
namespace ds {

// IDENTIFY word 84 or 87 bit 5, each word counting only when its bits 15:14 read 01.
bool GeneralPurposeLoggingSupported(const IdentifyWords& identifyWords);

// The log directory of one disk: the pages each log address holds, 0 for a log the disk
// does not have.
struct LogDirectory {
  bool generalPurpose = false;  // read through READ LOG EXT
  std::array<std::uint16_t, 256> pages{};
  std::uint16_t PageCount(std::uint8_t address) const { return pages[address]; }
};

// The largest page count SMART READ LOG moves in one command (an 8-bit count from page 0).
inline constexpr unsigned kSmartReadLogMaxPages = 255;

// Reads `count` pages of log `address` from `firstPage` into `out` (count × 512 bytes).
// SMART READ LOG always starts at page 0, so it reads firstPage + count pages and keeps
// the last `count`. False with `message` set when the command aborts, does not reach the
// disk or moves less than asked, or when the range does not fit the command.
bool ReadLogPages(AtaDevice& device, const IdentifyWords& identifyWords, std::uint8_t address,
                  std::uint16_t firstPage, std::uint16_t count, std::vector<std::uint8_t>* out,
                  std::string* message);

// Reads the log directory (log 00h) through the command family IDENTIFY picks. False with
// `message` set when the read fails: then only the SMART logs that the SMART data says the
// disk keeps (self-test, error) are worth a read in this pass.
bool ReadLogDirectory(AtaDevice& device, const IdentifyWords& identifyWords,
                      LogDirectory* directory, std::string* message);

}  // namespace ds
