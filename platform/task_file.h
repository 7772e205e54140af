#pragma once

#include <cstddef>
#include <cstdint>

// The ATA register block of one command and the ways its data can travel.
namespace ds {

// The seven ATA registers passed to a device and returned from it. Going in they are
// features, sector count, sector number (LBA 0-7), cylinder low (LBA 8-15), cylinder
// high (LBA 16-23), device/head and command; coming back the same bytes hold error,
// sector count, sector number, cylinder low, cylinder high, device/head and status.
struct TaskFile {
  std::uint8_t features = 0;
  std::uint8_t sectorCount = 0;
  std::uint8_t sectorNumber = 0;
  std::uint8_t cylinderLow = 0;
  std::uint8_t cylinderHigh = 0;
  std::uint8_t deviceHead = 0;
  std::uint8_t command = 0;

  // Names of the returned registers.
  std::uint8_t error() const { return features; }
  std::uint8_t status() const { return command; }

  bool operator==(const TaskFile&) const = default;
};

// How a command's data moves between host and device.
enum class AtaProtocol : std::uint8_t {
  kNonData,
  kPioDataIn,
  kPioDataOut,
  kDmaIn,
  kDmaOut,
};

// Direction of a command's data, as the pass-through callers state it.
enum class AtaDataDirection : std::uint8_t { kNone, kIn, kOut };

// Pass-through flag values callers of the buffered pass-through use.
inline constexpr int kAtaFlagsDrdyRequired = 0x01;
inline constexpr int kAtaFlagsDataIn = 0x02;
inline constexpr int kAtaFlagsDataOut = 0x04;

// Status register bits.
inline constexpr std::uint8_t kAtaStatusErr = 0x01;
inline constexpr std::uint8_t kAtaStatusDrq = 0x08;
inline constexpr std::uint8_t kAtaStatusDf = 0x20;
inline constexpr std::uint8_t kAtaStatusDrdy = 0x40;
inline constexpr std::uint8_t kAtaStatusBsy = 0x80;
// The status a device reports after a clean completion (DRDY, DSC).
inline constexpr std::uint8_t kAtaStatusGood = 0x50;

// Error register bits.
inline constexpr std::uint8_t kAtaErrorAbrt = 0x04;
inline constexpr std::uint8_t kAtaErrorIdnf = 0x10;
inline constexpr std::uint8_t kAtaErrorUnc = 0x40;

// Commands the program and the simulated device know by name.
inline constexpr std::uint8_t kAtaDataSetManagement = 0x06;
inline constexpr std::uint8_t kAtaReadSectors = 0x20;
inline constexpr std::uint8_t kAtaReadSectorsExt = 0x24;
inline constexpr std::uint8_t kAtaReadDmaExt = 0x25;
inline constexpr std::uint8_t kAtaReadLogExt = 0x2F;
inline constexpr std::uint8_t kAtaWriteSectors = 0x30;
inline constexpr std::uint8_t kAtaWriteSectorsExt = 0x34;
inline constexpr std::uint8_t kAtaWriteDmaExt = 0x35;
inline constexpr std::uint8_t kAtaIdentifyPacketDevice = 0xA1;
inline constexpr std::uint8_t kAtaSmart = 0xB0;
inline constexpr std::uint8_t kAtaReadDma = 0xC8;
inline constexpr std::uint8_t kAtaWriteDma = 0xCA;
inline constexpr std::uint8_t kAtaCheckPowerMode = 0xE5;
inline constexpr std::uint8_t kAtaIdentifyDevice = 0xEC;
inline constexpr std::uint8_t kAtaSecuritySetPassword = 0xF1;
inline constexpr std::uint8_t kAtaSecurityUnlock = 0xF2;
inline constexpr std::uint8_t kAtaSecurityErasePrepare = 0xF3;
inline constexpr std::uint8_t kAtaSecurityEraseUnit = 0xF4;
inline constexpr std::uint8_t kAtaSecurityFreezeLock = 0xF5;
inline constexpr std::uint8_t kAtaSecurityDisablePassword = 0xF6;

// SMART sub-commands (features register of command 0xB0) and its signature.
inline constexpr std::uint8_t kSmartReadData = 0xD0;
inline constexpr std::uint8_t kSmartReadThresholds = 0xD1;
inline constexpr std::uint8_t kSmartReadLog = 0xD5;
inline constexpr std::uint8_t kSmartEnableOperations = 0xD8;
inline constexpr std::uint8_t kSmartDisableOperations = 0xD9;
inline constexpr std::uint8_t kSmartReturnStatus = 0xDA;
inline constexpr std::uint8_t kSmartSignatureLow = 0x4F;
inline constexpr std::uint8_t kSmartSignatureHigh = 0xC2;

// Bytes in one ATA sector.
inline constexpr std::size_t kAtaSectorBytes = 512;

// The protocol a command uses for the given data direction: DMA for the DMA commands
// (READ/WRITE DMA and their EXT forms, DATA SET MANAGEMENT), PIO for every other data
// command, non-data when there is no data.
AtaProtocol ChooseProtocol(std::uint8_t command, AtaDataDirection direction);

// True for the data-in protocols.
bool IsDataIn(AtaProtocol protocol);
// True for the data-out protocols.
bool IsDataOut(AtaProtocol protocol);

// The device/head register of the SMART commands for a drive number: 0xA0 for even
// drive numbers, 0xB0 for odd ones.
std::uint8_t DeviceHeadForDrive(int driveNumber);

}  // namespace ds
