#pragma once

#include <cstdint>
#include <span>

#include "platform/ata_device.h"

// The quick temperature read of the Disk Information page: SMART ENABLE and SMART READ
// DATA through the disk driver's SMART interface, then attribute 194 of the data sector.
namespace ds {

// Scans the 31 twelve-byte attribute slots from byte 2 of a SMART data sector; the last
// slot with id 194 gives the temperature (its first raw byte). False when none has it.
bool TemperatureFromSmartSector(std::span<const std::uint8_t, 512> sector, int* celsius);

// Opens drive `driveNumber`, reads its temperature into `celsius` (30 when unknown) and
// sets `temperatureValid` to 1 when attribute 194 was found. Returns whether the last
// command sent succeeded.
bool ReadDriveTemperature(AtaDeviceOpener& opener, int driveNumber, int* celsius,
                          int* temperatureValid);

}  // namespace ds
