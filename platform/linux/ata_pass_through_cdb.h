#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/ata_device.h"

// The SCSI ATA PASS-THROUGH (16) and (12) command blocks (SAT) that carry one ATA command
// through SG_IO. The 12-byte block, for USB bridges that take no other, has no room for
// the high-order bytes of a 48-bit command; its opcode is also an optical drive's BLANK,
// so it only ever goes to a direct-access disk.
namespace ds {

inline constexpr std::uint8_t kAtaPassThrough16Opcode = 0x85;
inline constexpr std::uint8_t kAtaPassThrough12Opcode = 0xA1;
using AtaPassThroughCdb = std::array<std::uint8_t, 16>;
using AtaPassThrough12Cdb = std::array<std::uint8_t, 12>;

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
// The same command in the 12-byte block; false for a 48-bit command as well.
bool BuildAtaPassThrough12Cdb(const AtaCommand& command, AtaPassThrough12Cdb* cdb,
                              std::string* message);

}  // namespace ds
