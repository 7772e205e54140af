#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "drive/identify_decoder.h"
#include "platform/ata_device.h"

// The ATA security feature set commands the erase sends, the data block they carry and
// what IDENTIFY says about the disk's security state.
namespace ds {

// The user password the erase sets for the moment of the erase. ERASE UNIT removes it
// again; when an erase fails half-way, messages name it so it can be removed by hand.
inline constexpr char kErasePassword[] = "NDS";

// The 512-byte data block of SET PASSWORD, UNLOCK, ERASE UNIT and DISABLE PASSWORD:
// word 0 is zero (the user password, High security level, normal erase), the password
// follows from byte 2 (word 1) on, the rest is zero.
using SecurityBlock = std::array<std::uint8_t, 512>;
SecurityBlock MakeSecurityBlock();

// The security state of IDENTIFY word 128 (word 82 bit 1 also tells it is supported).
struct SecurityState {
  bool supported = false;
  bool enabled = false;  // a user password is set
  bool locked = false;
  bool frozen = false;
  bool countExpired = false;  // too many wrong passwords since power-on
};
SecurityState DecodeSecurityState(const IdentifyWords& words);

// Time-out of SECURITY ERASE UNIT: the time IDENTIFY word 89 (word 90 for an enhanced
// erase) gives, in units of 2 minutes, plus a quarter and 10 minutes; a long fixed time
// when the disk gives none (0, or the "more than" values 255 and 32767).
int EraseUnitTimeoutMs(const IdentifyWords& words, bool enhanced);
inline constexpr int kEraseUnitUnknownTimeoutMs = 24 * 60 * 60 * 1000;

// The commands. Each succeeds when the status has neither ERR nor DRQ; `message` then
// holds the status and time, else what failed.
bool SecuritySetPassword(AtaDevice& device, const SecurityBlock& block, std::string* message);
bool SecurityErasePrepare(AtaDevice& device, std::string* message);
bool SecurityEraseUnit(AtaDevice& device, const SecurityBlock& block, int timeoutMs,
                       std::string* message);
bool SecurityUnlock(AtaDevice& device, const SecurityBlock& block, std::string* message);
bool SecurityDisablePassword(AtaDevice& device, const SecurityBlock& block, std::string* message);

// IDENTIFY DEVICE (IDENTIFY PACKET DEVICE when that is refused) through the pass-through
// into `words`.
bool ReadIdentifyWords(AtaDevice& device, IdentifyWords* words, std::string* message);

}  // namespace ds
