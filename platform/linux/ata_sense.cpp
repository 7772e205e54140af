#include "platform/linux/ata_sense.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ds {

namespace {

constexpr std::uint8_t kAtaStatusReturnDescriptor = 0x09;
constexpr std::size_t kAtaStatusReturnLength = 14;  // type, length 0x0C, 12 bytes

// Linux host byte values.
constexpr std::uint16_t kHostNoConnect = 0x01;
constexpr std::uint16_t kHostTimeOut = 0x03;
constexpr std::uint16_t kHostBadTarget = 0x04;
// Linux driver byte values (low bits; 0x08 only says sense data is present).
constexpr std::uint16_t kDriverCodeMask = 0x07;
constexpr std::uint16_t kDriverTimeOut = 0x06;

constexpr std::uint8_t kSenseKeyIllegalRequest = 0x05;

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
  return text;
}

void DecodeDescriptorFormat(std::span<const std::uint8_t> sense, DecodedSense* out) {
  if (sense.size() < 8) {
    out->kind = SenseKind::kMalformed;
    return;
  }
  out->senseKey = sense[1] & 0x0F;
  out->asc = sense[2];
  out->ascq = sense[3];
  out->kind = SenseKind::kOther;
  // Descriptors follow the 8-byte header, within the additional length and the buffer.
  std::size_t end = 8 + static_cast<std::size_t>(sense[7]);
  if (end > sense.size())
    end = sense.size();
  std::size_t at = 8;
  while (at + 2 <= end) {
    const std::uint8_t type = sense[at];
    const std::size_t length = 2 + static_cast<std::size_t>(sense[at + 1]);
    if (type == kAtaStatusReturnDescriptor && length >= kAtaStatusReturnLength &&
        at + kAtaStatusReturnLength <= end) {
      const std::uint8_t* d = sense.data() + at;
      out->extended = (d[2] & 0x01) != 0;
      out->registers = TaskFile{d[3], d[5], d[7], d[9], d[11], d[12], d[13]};
      out->previousRegisters = TaskFile{0, d[4], d[6], d[8], d[10], 0, 0};
      out->kind = SenseKind::kAtaRegisters;
      return;
    }
    at += length;
  }
}

void DecodeFixedFormat(std::span<const std::uint8_t> sense, DecodedSense* out) {
  if (sense.size() < 3) {
    out->kind = SenseKind::kMalformed;
    return;
  }
  out->senseKey = sense[2] & 0x0F;
  if (sense.size() > 13) {
    out->asc = sense[12];
    out->ascq = sense[13];
  }
  out->kind = SenseKind::kOther;
  if (sense.size() < 12)
    return;
  const bool informationSet = (sense[3] | sense[4] | sense[5] | sense[6]) != 0;
  if (informationSet) {
    // INFORMATION: ERROR, STATUS, DEVICE, COUNT; command-specific: flags, LBA 0-23.
    out->extended = (sense[8] & 0x80) != 0;
    out->registers =
        TaskFile{sense[3], sense[6], sense[9], sense[10], sense[11], sense[5], sense[4]};
    out->kind = SenseKind::kAtaRegisters;
    return;
  }
  // The kernel layout: a completed ATA command always has a non-zero status.
  if (sense[9] == 0)
    return;
  out->registers.features = sense[8];
  out->registers.command = sense[9];
  out->registers.deviceHead = sense[10];
  out->registers.sectorCount = sense[11];
  if (sense.size() > 16)
    out->extended = (sense[16] & 0x80) != 0;
  if (sense.size() > 17)
    out->registers.sectorNumber = sense[17];
  if (sense.size() > 18)
    out->registers.cylinderLow = sense[18];
  if (sense.size() > 19)
    out->registers.cylinderHigh = sense[19];
  out->kind = SenseKind::kAtaRegisters;
}

AtaResult TransportFailure(int osError, std::string text) {
  AtaResult result;
  result.transportOk = false;
  result.osError = osError;
  result.osErrorText = std::move(text);
  return result;
}

}  // namespace

DecodedSense DecodeSense(std::span<const std::uint8_t> sense) {
  DecodedSense out;
  if (sense.empty())
    return out;
  out.responseCode = sense[0] & 0x7F;
  switch (out.responseCode) {
    case 0x72:
    case 0x73:
      DecodeDescriptorFormat(sense, &out);
      break;
    case 0x70:
    case 0x71:
      DecodeFixedFormat(sense, &out);
      break;
    default:
      out.kind = SenseKind::kMalformed;
      break;
  }
  return out;
}

AtaResult InterpretSgIoCompletion(const AtaCommand& command, const SgIoCompletion& completion,
                                  const std::string& devicePath) {
  if (completion.ioctlResult < 0) {
    const int error = completion.ioctlErrno != 0 ? completion.ioctlErrno : EIO;
    return TransportFailure(error, DescribeOsError(error, "SG_IO", devicePath));
  }
  if (completion.hostStatus != 0) {
    if (completion.hostStatus == kHostTimeOut) {
      return TransportFailure(ETIMEDOUT, devicePath + ": the command timed out after " +
                                             std::to_string(command.timeoutMs) + " ms");
    }
    const int error =
        (completion.hostStatus == kHostNoConnect || completion.hostStatus == kHostBadTarget)
            ? ENODEV
            : EIO;
    return TransportFailure(error,
                            devicePath + ": host adapter status " + Hex2(completion.hostStatus));
  }
  const std::uint16_t driverCode = completion.driverStatus & kDriverCodeMask;
  if (driverCode == kDriverTimeOut) {
    return TransportFailure(ETIMEDOUT, devicePath + ": the command timed out after " +
                                           std::to_string(command.timeoutMs) + " ms");
  }
  if (driverCode != 0) {
    return TransportFailure(EIO, devicePath + ": driver status " + Hex2(completion.driverStatus));
  }
  const std::uint8_t scsiStatus = completion.scsiStatus & 0xFE;
  if (scsiStatus != kScsiStatusGood && scsiStatus != kScsiStatusCheckCondition) {
    return TransportFailure(EIO, devicePath + ": SCSI status " + Hex2(scsiStatus));
  }

  const DecodedSense sense = DecodeSense(completion.sense);
  AtaResult result;
  if (sense.kind == SenseKind::kAtaRegisters) {
    result.registers = sense.registers;
    result.previousRegisters = sense.previousRegisters;
  } else if (scsiStatus == kScsiStatusGood) {
    // A clean completion without returned registers: what was sent, status good.
    result.registers = command.registers;
    result.registers.features = 0;
    result.registers.command = kAtaStatusGood;
    result.previousRegisters = command.extended ? command.previousRegisters : TaskFile{};
  } else if (sense.kind == SenseKind::kOther) {
    const std::string detail = "sense key " + Hex2(sense.senseKey) + ", ASC/ASCQ " +
                               Hex2(sense.asc) + "/" + Hex2(sense.ascq);
    if (sense.senseKey == kSenseKeyIllegalRequest) {
      return TransportFailure(
          EOPNOTSUPP, devicePath + ": the driver refused the ATA pass-through (" + detail + ")");
    }
    return TransportFailure(
        EIO, devicePath + ": the command failed without ATA registers (" + detail + ")");
  } else {
    return TransportFailure(EIO, devicePath + ": CHECK CONDITION without usable sense data (" +
                                     std::to_string(completion.sense.size()) + " bytes)");
  }
  result.transportOk = true;

  const std::size_t asked = command.data.size();
  if (completion.residual < 0 || static_cast<std::size_t>(completion.residual) > asked) {
    return TransportFailure(
        EIO, devicePath + ": impossible residual count " + std::to_string(completion.residual));
  }
  result.transferred = asked - static_cast<std::size_t>(completion.residual);
  const bool ataError = (result.registers.status() & (kAtaStatusErr | kAtaStatusDrq)) != 0;
  if (result.transferred < asked && !ataError) {
    AtaResult shortTransfer = TransportFailure(EIO, devicePath + ": the device moved " +
                                                        std::to_string(result.transferred) +
                                                        " of " + std::to_string(asked) + " bytes");
    shortTransfer.registers = result.registers;
    shortTransfer.transferred = result.transferred;
    return shortTransfer;
  }
  return result;
}

std::string DescribeOsError(int osError, const std::string& operation,
                            const std::string& devicePath) {
  std::string text = operation + " on " + devicePath + " failed: " + std::strerror(osError);
  if (osError == EPERM || osError == EACCES) {
    text += " (sending ATA commands needs root or the CAP_SYS_RAWIO capability)";
  }
  return text;
}

}  // namespace ds
