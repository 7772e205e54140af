#include "platform/task_file.h"

namespace ds {

namespace {

bool IsDmaCommand(std::uint8_t command) {
  switch (command) {
    case kAtaDataSetManagement:
    case kAtaReadDma:
    case kAtaReadDmaExt:
    case kAtaWriteDma:
    case kAtaWriteDmaExt:
      return true;
    default:
      return false;
  }
}

}  // namespace

AtaProtocol ChooseProtocol(std::uint8_t command, AtaDataDirection direction) {
  const bool dma = IsDmaCommand(command);
  switch (direction) {
    case AtaDataDirection::kIn:
      return dma ? AtaProtocol::kDmaIn : AtaProtocol::kPioDataIn;
    case AtaDataDirection::kOut:
      return dma ? AtaProtocol::kDmaOut : AtaProtocol::kPioDataOut;
    case AtaDataDirection::kNone:
      break;
  }
  return AtaProtocol::kNonData;
}

bool IsDataIn(AtaProtocol protocol) {
  return protocol == AtaProtocol::kPioDataIn || protocol == AtaProtocol::kDmaIn;
}

bool IsDataOut(AtaProtocol protocol) {
  return protocol == AtaProtocol::kPioDataOut || protocol == AtaProtocol::kDmaOut;
}

std::uint8_t DeviceHeadForDrive(int driveNumber) {
  // Bit 4 picks the second device of a legacy channel; bits 7 and 5 are always set.
  return static_cast<std::uint8_t>((((driveNumber & 1) | 0xFA) << 4) & 0xFF);
}

}  // namespace ds
