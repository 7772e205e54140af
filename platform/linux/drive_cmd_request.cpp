#include "platform/linux/drive_cmd_request.h"

namespace ds {

bool BuildDriveCmdHeader(const TaskFile& registers, std::size_t dataBytes, DriveCmdHeader* header,
                         std::string* message) {
  if (dataBytes % kAtaSectorBytes != 0 || dataBytes / kAtaSectorBytes > kDriveCmdMaxSectors) {
    *message = "the SMART driver path cannot read " + std::to_string(dataBytes) + " bytes";
    return false;
  }
  const bool smart = registers.command == kAtaSmart;
  (*header)[0] = registers.command;
  (*header)[1] = smart ? registers.sectorNumber : registers.sectorCount;
  (*header)[2] = registers.features;
  (*header)[3] = static_cast<std::uint8_t>(dataBytes / kAtaSectorBytes);
  return true;
}

}  // namespace ds
