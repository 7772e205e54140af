#pragma once

#include <string>

#include "platform/ata_device.h"
#include "platform/identify_words.h"

// Whether a disk is spun down, so the monitor can leave a sleeping disk asleep: a read of
// its S.M.A.R.T. data would spin it up every ten minutes.
namespace ds {

// IDENTIFY word 217 is the nominal media rotation rate: 1 means a disk without rotating
// media (an SSD); 0 (not reported) and every other value count as rotating.
bool IsRotatingDisk(const IdentifyWords& identify);

enum class PowerState {
  kActiveOrIdle,
  kStandby,  // spun down
  kUnknown,  // the disk did not answer CHECK POWER MODE
};

// Sends CHECK POWER MODE (0xE5, no data): the sector count returned is 0x00 in standby.
PowerState CheckPowerMode(AtaDevice& device, std::string* message = nullptr);

}  // namespace ds
