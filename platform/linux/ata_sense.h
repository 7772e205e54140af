#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/ata_device.h"

// Reading the outcome of an ATA PASS-THROUGH command: the SCSI sense data that carries
// the device's registers, and the whole SG_IO completion (ioctl result, host, driver and
// SCSI status, residual count) turned into an AtaResult.
namespace ds {

// What a sense buffer held.
enum class SenseKind : std::uint8_t {
  kEmpty,         // no sense bytes
  kAtaRegisters,  // the device's registers were found
  kOther,         // well-formed sense without ATA registers (e.g. an unsupported command)
  kMalformed,     // too short, or a response code that is not sense data
};

struct DecodedSense {
  SenseKind kind = SenseKind::kEmpty;
  std::uint8_t responseCode = 0;
  std::uint8_t senseKey = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  bool extended = false;
  TaskFile registers;          // error, count, LBA 0-7, 8-15, 16-23, device, status
  TaskFile previousRegisters;  // high-order count and LBA bytes of a 48-bit command
};

// Decodes descriptor-format sense (0x72/0x73) with its ATA Status Return descriptor
// (0x09), and fixed-format sense (0x70/0x71) in both layouts seen from Linux: the
// standard one (ERROR, STATUS, DEVICE, COUNT in the INFORMATION field, bytes 3-6; LBA at
// 9-11) and the one of kernels that leave INFORMATION zero and put ERROR, STATUS, DEVICE,
// COUNT at bytes 8-11 and the LBA at 17-19. Never reads past `sense`.
DecodedSense DecodeSense(std::span<const std::uint8_t> sense);

// The raw outcome of one SG_IO call.
struct SgIoCompletion {
  int ioctlResult = 0;
  int ioctlErrno = 0;
  std::uint8_t scsiStatus = 0;
  std::uint16_t hostStatus = 0;
  std::uint16_t driverStatus = 0;
  int residual = 0;
  std::span<const std::uint8_t> sense;  // the bytes the driver wrote
};

// SCSI status values.
inline constexpr std::uint8_t kScsiStatusGood = 0x00;
inline constexpr std::uint8_t kScsiStatusCheckCondition = 0x02;

// Turns a completion of `command` into the registers and transport outcome. A transport
// failure (ioctl error, host or driver status, a CHECK CONDITION without ATA registers,
// a short data transfer) has transportOk false and an errno-style osError; an ATA error
// comes back as registers with ERR set. `devicePath` only goes into messages.
AtaResult InterpretSgIoCompletion(const AtaCommand& command, const SgIoCompletion& completion,
                                  const std::string& devicePath);

// One line for an OS error of `operation` on `devicePath`; missing rights say what is
// needed (root or CAP_SYS_RAWIO).
std::string DescribeOsError(int osError, const std::string& operation,
                            const std::string& devicePath);

}  // namespace ds
