#include "pages/drive_temperature.h"

#include <array>
#include <string>

namespace ds {
namespace {

constexpr std::uint8_t kTemperatureAttribute = 194;
constexpr int kSlotsScanned = 31;

TaskFile SmartRegisters(std::uint8_t feature) {
  TaskFile registers;
  registers.features = feature;
  registers.sectorCount = 1;
  registers.sectorNumber = 1;
  registers.cylinderLow = 0x4F;
  registers.cylinderHigh = 0xC2;
  registers.deviceHead = 0xA0;
  registers.command = 0xB0;
  return registers;
}

}  // namespace

bool TemperatureFromSmartSector(std::span<const std::uint8_t, 512> sector, int* celsius) {
  bool found = false;
  for (int slot = 0; slot < kSlotsScanned; ++slot) {
    const std::size_t at = 2 + 12 * static_cast<std::size_t>(slot);
    if (sector[at] == kTemperatureAttribute) {
      *celsius = sector[at + 5];
      found = true;
    }
  }
  return found;
}

bool ReadDriveTemperature(AtaDeviceOpener& opener, int driveNumber, int* celsius,
                          int* temperatureValid) {
  *temperatureValid = 0;
  *celsius = 30;
  std::string message;
  AtaOpenMode mode;
  mode.noBuffering = true;
  mode.writeThrough = true;
  std::unique_ptr<AtaDevice> device = opener.Open(driveNumber, mode, &message);
  if (!device)
    return false;
  AtaResult result = device->SmartDriverCommand(SmartRegisters(0xD8), {});
  if (!result.transportOk)
    return false;
  std::array<std::uint8_t, 512> sector{};
  result = device->SmartDriverCommand(SmartRegisters(0xD0), sector);
  if (!result.transportOk)
    return false;
  int value = 0;
  if (TemperatureFromSmartSector(sector, &value)) {
    *celsius = value;
    *temperatureValid = 1;
  }
  return true;
}

}  // namespace ds
