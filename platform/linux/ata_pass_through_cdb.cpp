#include "platform/linux/ata_pass_through_cdb.h"

namespace ds {

namespace {

std::uint8_t SatProtocol(AtaProtocol protocol) {
  switch (protocol) {
    case AtaProtocol::kPioDataIn:
      return kSatProtocolPioDataIn;
    case AtaProtocol::kPioDataOut:
      return kSatProtocolPioDataOut;
    case AtaProtocol::kDmaIn:
    case AtaProtocol::kDmaOut:
      return kSatProtocolDma;
    case AtaProtocol::kNonData:
      break;
  }
  return kSatProtocolNonData;
}

// Byte 2 of the block.
constexpr std::uint8_t kCheckCondition = 0x20;  // CK_COND: return the registers
constexpr std::uint8_t kFromDevice = 0x08;      // T_DIR
constexpr std::uint8_t kLengthInBlocks = 0x04;  // BYT_BLOK, 512-byte blocks (T_TYPE 0)
constexpr std::uint8_t kLengthInCount = 0x02;   // T_LENGTH: the sector count field

bool CheckDataSize(const AtaCommand& command, std::string* message) {
  const bool hasData = command.protocol != AtaProtocol::kNonData;
  const std::size_t bytes = command.data.size();
  if (hasData && bytes == 0) {
    *message = "a data command needs a data buffer";
    return false;
  }
  if (!hasData && bytes != 0) {
    *message = "a non-data command cannot carry data";
    return false;
  }
  if (bytes % kAtaSectorBytes != 0) {
    *message = "the data length " + std::to_string(bytes) + " is not a whole number of sectors";
    return false;
  }
  return true;
}

// Byte 2 of either block.
std::uint8_t TransferFlags(const AtaCommand& command) {
  if (command.protocol == AtaProtocol::kNonData)
    return kCheckCondition;
  return kLengthInBlocks | kLengthInCount | (IsDataIn(command.protocol) ? kFromDevice : 0);
}

}  // namespace

bool BuildAtaPassThrough12Cdb(const AtaCommand& command, AtaPassThrough12Cdb* cdb,
                              std::string* message) {
  if (!CheckDataSize(command, message))
    return false;
  if (command.extended) {
    *message = "a 48-bit command does not fit ATA PASS-THROUGH (12)";
    return false;
  }
  const TaskFile& now = command.registers;
  *cdb = {kAtaPassThrough12Opcode,
          static_cast<std::uint8_t>(SatProtocol(command.protocol) << 1),
          TransferFlags(command),
          now.features,
          now.sectorCount,
          now.sectorNumber,
          now.cylinderLow,
          now.cylinderHigh,
          now.deviceHead,
          now.command,
          0,
          0};
  return true;
}

bool BuildAtaPassThroughCdb(const AtaCommand& command, AtaPassThroughCdb* cdb,
                            std::string* message) {
  if (!CheckDataSize(command, message))
    return false;
  const TaskFile& now = command.registers;
  const TaskFile& previous = command.previousRegisters;
  const bool extended = command.extended;
  AtaPassThroughCdb& block = *cdb;
  block.fill(0);
  block[0] = kAtaPassThrough16Opcode;
  block[1] = static_cast<std::uint8_t>(SatProtocol(command.protocol) << 1 | (extended ? 1 : 0));
  block[2] = TransferFlags(command);
  block[3] = extended ? previous.features : 0;
  block[4] = now.features;
  block[5] = extended ? previous.sectorCount : 0;
  block[6] = now.sectorCount;
  block[7] = extended ? previous.sectorNumber : 0;
  block[8] = now.sectorNumber;
  block[9] = extended ? previous.cylinderLow : 0;
  block[10] = now.cylinderLow;
  block[11] = extended ? previous.cylinderHigh : 0;
  block[12] = now.cylinderHigh;
  block[13] = now.deviceHead;
  block[14] = now.command;
  block[15] = 0;
  return true;
}

}  // namespace ds
