#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/task_file.h"

// The 4-byte header of the HDIO_DRIVE_CMD ioctl, the disk driver's own path for SMART
// and IDENTIFY: command, sector number (SMART) or sector count (other commands),
// features, and the number of 512-byte sectors to read back after the header.
namespace ds {

using DriveCmdHeader = std::array<std::uint8_t, 4>;

// The largest data phase the ioctl takes (its sector field is one byte).
inline constexpr std::size_t kDriveCmdMaxSectors = 255;

// Builds the header for `registers` with `dataBytes` to read. False with `message` set
// when `dataBytes` is not a whole number of sectors or more than the ioctl can carry.
// The driver fills in the SMART signature (0x4F/0xC2) and the device register itself.
bool BuildDriveCmdHeader(const TaskFile& registers, std::size_t dataBytes, DriveCmdHeader* header,
                         std::string* message);

}  // namespace ds
