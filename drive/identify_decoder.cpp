#include "drive/identify_decoder.h"

#include <cstdio>
#include <string_view>

namespace ds {

namespace {

bool Bit(std::uint16_t word, int bit) {
  return (word >> bit) & 1u;
}

// Word 83 bits 15-14 = 01 says words 82-84 hold valid feature bits.
bool CommandSetWordsValid(const IdentifyWords& w) {
  return (w[83] & 0xC000u) == 0x4000u;
}

int HighestSetBit(unsigned value) {
  int highest = -1;
  for (int i = 0; value != 0; ++i, value >>= 1) {
    if (value & 1u)
      highest = i;
  }
  return highest;
}

std::string MediaTypeText(std::uint16_t word0) {
  const char* kind = "FIXED";
  if (word0 == 0x848A || word0 == 0x844A) {
    kind = "CompactFlash ATA";
  } else if (Bit(word0, 7)) {
    kind = "REMOVABLE";
  }
  char text[40];
  std::snprintf(text, sizeof text, "%s(%04X)", kind, static_cast<unsigned>(word0));
  return text;
}

}  // namespace

IdentifyChecksum CheckIdentifyChecksum(const IdentifyWords& words) {
  if ((words[255] & 0xFFu) != 0xA5u)
    return IdentifyChecksum::kAbsent;
  unsigned sum = 0;
  for (std::uint16_t word : words)
    sum += (word & 0xFFu) + (word >> 8);
  return (sum & 0xFFu) == 0 ? IdentifyChecksum::kValid : IdentifyChecksum::kBad;
}

IdentifyGeometry DecodeIdentifyGeometry(const IdentifyWords& w) {
  std::uint32_t lba28 = (static_cast<std::uint32_t>(w[61]) << 16) | w[60];
  if (Bit(w[49], 9) && lba28 >= 16514065u && w[1] == 0)
    return {};
  return {w[1], w[3], w[6]};
}

void DecodeIdentify(const IdentifyWords& w, DriveRecord* record) {
  record->identifyWords = w;
  SetDriveText(record->mediaType, MediaTypeText(w[0]));
  if (w[27] != 0)
    SetDriveText(record->model, IdentifyText(w, kIdentifyModelWord, kIdentifyModelWords, false));
  SetDriveText(record->serial, IdentifyText(w, kIdentifySerialWord, kIdentifySerialWords, true));
  if (w[23] != 0)
    SetDriveText(record->firmware,
                 IdentifyText(w, kIdentifyFirmwareWord, kIdentifyFirmwareWords, true));

  IdentifyGeometry geometry = DecodeIdentifyGeometry(w);
  record->cylinders = geometry.cylinders;
  record->heads = geometry.heads;
  record->sectorsPerTrack = geometry.sectorsPerTrack;

  record->sectorCount = 0;
  if (Bit(w[49], 9)) {
    record->sectorCount = (static_cast<std::uint64_t>(w[61]) << 16) | w[60];
    if (CommandSetWordsValid(w) && Bit(w[83], 10)) {
      record->sectorCount = (static_cast<std::uint64_t>(w[103]) << 48) |
                            (static_cast<std::uint64_t>(w[102]) << 32) |
                            (static_cast<std::uint64_t>(w[101]) << 16) | w[100];
    }
  }

  record->udmaMode = 0;
  if (Bit(w[49], 8) && Bit(w[53], 2) && w[88] != 0) {
    // Low byte: modes supported; high byte: the mode selected. Either counts.
    unsigned modes = (w[88] & 0xFFu) | (w[88] >> 8);
    record->udmaMode = static_cast<std::uint8_t>(HighestSetBit(modes));
  }

  record->pioMode = 0;
  if (Bit(w[53], 1) && (w[64] & 0xFFu) != 0) {
    // Word 64 bit 0 = PIO 3, bit 1 = PIO 4; modes 0-2 are always there.
    record->pioMode = static_cast<std::uint8_t>(HighestSetBit((w[64] & 0xFFu) * 8u + 7u));
  }

  record->smartState = 0;
  if (CommandSetWordsValid(w) && Bit(w[82], 0)) {
    record->smartState = static_cast<std::uint8_t>(1 + (Bit(w[85], 0) ? 1 : 0));
  }

  if (!Bit(w[82], 10)) {
    record->hpaState = 1;
  } else if (Bit(w[85], 10)) {
    record->hpaState = 2;
  } else {
    record->hpaState = 0;
  }
  record->securitySupported = Bit(w[128], 0) ? 1 : 0;
  record->cfaSupported = Bit(w[83], 2) ? 1 : 0;
}

}  // namespace ds
