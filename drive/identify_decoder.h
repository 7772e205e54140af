#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "drive/drive_record.h"
#include "platform/identify_words.h"

namespace ds {

// CHS geometry from IDENTIFY words 1, 3 and 6 (all 0 for a large LBA disk without CHS).
struct IdentifyGeometry {
  std::uint32_t cylinders = 0;
  std::uint32_t heads = 0;
  std::uint32_t sectorsPerTrack = 0;
};

// State of IDENTIFY word 255, the integrity word. Many devices (and emulators) leave it
// zero, so a missing checksum is never a reason to reject the data.
enum class IdentifyChecksum {
  kAbsent,  // low byte is not the A5h signature
  kValid,   // the 512 bytes sum to 0 modulo 256
  kBad,     // signature present but the sum is wrong
};

IdentifyChecksum CheckIdentifyChecksum(const IdentifyWords& words);

// Fills the IDENTIFY-derived fields of `record` (identifyWords, mediaType, model, serial,
// firmware, sectorCount, udmaMode, pioMode, smartState, hpaState, securitySupported,
// cfaSupported, cylinders/heads/sectorsPerTrack) from the 256 words. Fields whose words are
// empty (model when word 27 is 0, firmware when word 23 is 0) are left as they were.
void DecodeIdentify(const IdentifyWords& words, DriveRecord* record);

// The geometry rule alone: words 1/3/6, or all 0 for an LBA disk of at least 16,514,065
// sectors that reports no cylinders.
IdentifyGeometry DecodeIdentifyGeometry(const IdentifyWords& words);

}  // namespace ds
