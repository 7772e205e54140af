#include "drive/security_commands.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "drive/ata_transport.h"

namespace ds {

namespace {

constexpr std::uint8_t kLbaDevice = 0xE0;
constexpr int kSetPasswordTimeoutMs = 10000;
constexpr std::int64_t kMinuteMs = 60 * 1000;

bool Bit(std::uint16_t word, int bit) {
  return (word >> bit & 1) != 0;
}

// A security command carrying the data block.
bool SendBlock(AtaDevice& device, std::uint8_t command, const SecurityBlock& block, int timeoutMs,
               const char* name, std::string* message) {
  TaskFile taskFile{0, 1, 0, 0, 0, kLbaDevice, command};
  std::string transport;
  if (AtaPassThroughDirectWrite(device, &taskFile, block, &transport, timeoutMs)) {
    *message = transport;
    return true;
  }
  *message = std::string(name) + " - Failed (" + transport + ")";
  return false;
}

}  // namespace

SecurityBlock MakeSecurityBlock() {
  SecurityBlock block{};
  std::memcpy(block.data() + 2, kErasePassword, sizeof kErasePassword - 1);
  return block;
}

SecurityState DecodeSecurityState(const IdentifyWords& words) {
  const std::uint16_t w = words[128];
  SecurityState state;
  state.supported = Bit(w, 0) || (words[82] != 0xFFFF && Bit(words[82], 1));
  state.enabled = Bit(w, 1);
  state.locked = Bit(w, 2);
  state.frozen = Bit(w, 3);
  state.countExpired = Bit(w, 4);
  return state;
}

int EraseUnitTimeoutMs(const IdentifyWords& words, bool enhanced) {
  const std::uint16_t w = words[enhanced ? 90 : 89];
  // Bit 15 set: the extended format of bits 14-0, else bits 7-0.
  const bool extended = Bit(w, 15);
  const std::int64_t units = extended ? (w & 0x7FFF) : (w & 0x00FF);
  if (units == 0 || units == (extended ? 0x7FFF : 0xFF))
    return kEraseUnitUnknownTimeoutMs;
  const std::int64_t given = units * 2 * kMinuteMs;
  return static_cast<int>(std::min<std::int64_t>(given + given / 4 + 10 * kMinuteMs, INT_MAX));
}

bool SecuritySetPassword(AtaDevice& device, const SecurityBlock& block, std::string* message) {
  return SendBlock(device, kAtaSecuritySetPassword, block, kSetPasswordTimeoutMs,
                   "SECURITY SET PASSWORD", message);
}

bool SecurityErasePrepare(AtaDevice& device, std::string* message) {
  TaskFile taskFile{0, 0, 0, 0, 0, kLbaDevice, kAtaSecurityErasePrepare};
  std::string transport;
  if (AtaPassThroughDirectNoData(device, &taskFile, &transport)) {
    *message = transport;
    return true;
  }
  *message = "Failed to send SECURITY ERASE PREPARE command. " + transport + ".";
  return false;
}

bool SecurityEraseUnit(AtaDevice& device, const SecurityBlock& block, int timeoutMs,
                       std::string* message) {
  return SendBlock(device, kAtaSecurityEraseUnit, block, timeoutMs, "SECURITY ERASE UNIT", message);
}

bool SecurityUnlock(AtaDevice& device, const SecurityBlock& block, std::string* message) {
  return SendBlock(device, kAtaSecurityUnlock, block, kSetPasswordTimeoutMs, "SECURITY UNLOCK",
                   message);
}

bool SecurityDisablePassword(AtaDevice& device, const SecurityBlock& block, std::string* message) {
  return SendBlock(device, kAtaSecurityDisablePassword, block, kSetPasswordTimeoutMs,
                   "SECURITY DISABLE PASSWORD", message);
}

bool ReadIdentifyWords(AtaDevice& device, IdentifyWords* words, std::string* message) {
  std::array<std::uint8_t, 512> sector{};
  std::string transport;
  // A device that takes itself for a packet device (a CompactFlash signature in word 0
  // can look like one) answers IDENTIFY PACKET DEVICE instead.
  for (std::uint8_t command : {kAtaIdentifyDevice, kAtaIdentifyPacketDevice}) {
    TaskFile taskFile{0, 1, 0, 0, 0, kLbaDevice, command};
    if (AtaPassThroughDirectRead(device, &taskFile, sector, &transport)) {
      *words = IdentifyWordsFromBytes(sector);
      return true;
    }
  }
  *message = "IDENTIFY DEVICE failed: " + transport;
  return false;
}

}  // namespace ds
