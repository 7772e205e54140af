#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/ata_device.h"

// The SCSI ATA PASS-THROUGH(16) command block (SAT) that carries one ATA command
// through SG_IO.
namespace ds {

inline constexpr std::uint8_t kAtaPassThrough16Opcode = 0x85;
using AtaPassThroughCdb = std::array<std::uint8_t, 16>;

// SAT protocol field values.
inline constexpr std::uint8_t kSatProtocolNonData = 3;
inline constexpr std::uint8_t kSatProtocolPioDataIn = 4;
inline constexpr std::uint8_t kSatProtocolPioDataOut = 5;
inline constexpr std::uint8_t kSatProtocolDma = 6;

// Builds the block for `command`. Data commands move whole 512-byte sectors counted in
// the sector count field; their check condition is off, because a PIO data-in command
// sent with it fails on common SATA translation layers although the data arrives (a clean
// completion then means status 0x50). Non-data commands ask for the check condition so
// that the device's registers always come back in the sense data.
// False with `message` set when the data size does not fit the protocol: a data protocol
// with no data, data on a non-data command, or a size that is not whole sectors.
bool BuildAtaPassThroughCdb(const AtaCommand& command, AtaPassThroughCdb* cdb,
                            std::string* message);

}  // namespace ds
