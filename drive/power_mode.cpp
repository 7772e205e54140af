#include "drive/power_mode.h"

#include "drive/ata_transport.h"

namespace ds {

bool IsRotatingDisk(const IdentifyWords& identify) {
  return identify[217] != 1;
}

PowerState CheckPowerMode(AtaDevice& device, std::string* message) {
  TaskFile taskFile;
  taskFile.deviceHead = 0xE0;
  taskFile.command = kAtaCheckPowerMode;
  std::string ignored;
  if (!AtaPassThroughDirectNoData(device, &taskFile, message ? message : &ignored))
    return PowerState::kUnknown;
  // 0x00 standby; 0x01 standby_y (ACS-3); 0x80 idle; 0xFF active or idle.
  return taskFile.sectorCount <= 0x01 ? PowerState::kStandby : PowerState::kActiveOrIdle;
}

}  // namespace ds
