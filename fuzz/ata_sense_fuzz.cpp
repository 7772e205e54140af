#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/linux/ata_sense.h"

// Feeds arbitrary sense data and SG_IO completion fields to the decoder and checks that
// registers only come from sense formats that carry them and that no success hides a
// short transfer.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8)
    return 0;
  const std::span<const std::uint8_t> sense(data + 8, size - 8);

  const ds::DecodedSense decoded = ds::DecodeSense(sense);
  if (decoded.kind == ds::SenseKind::kAtaRegisters &&
      (decoded.responseCode < 0x70 || decoded.responseCode > 0x73)) {
    __builtin_trap();
  }
  if (sense.empty() != (decoded.kind == ds::SenseKind::kEmpty))
    __builtin_trap();

  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(data[0] % 4) * 512);
  ds::AtaCommand command;
  command.protocol = buffer.empty() ? ds::AtaProtocol::kNonData : ds::AtaProtocol::kPioDataIn;
  command.data = buffer;
  ds::SgIoCompletion completion;
  completion.ioctlResult = (data[1] & 0x80) ? -1 : 0;
  completion.ioctlErrno = data[1] & 0x7F;
  completion.scsiStatus = data[2];
  completion.hostStatus = data[3] & 0x0F;
  completion.driverStatus = data[4] & 0x0F;
  completion.residual = static_cast<int>(data[5] | data[6] << 8) - 256;
  completion.sense = sense;
  const ds::AtaResult result = ds::InterpretSgIoCompletion(command, completion, "/dev/sdf");
  if (result.transportOk != (result.osError == 0))
    __builtin_trap();
  if (result.transferred > buffer.size())
    __builtin_trap();
  const bool ataError = (result.registers.status() & (ds::kAtaStatusErr | ds::kAtaStatusDrq)) != 0;
  if (result.transportOk && !ataError && result.transferred != buffer.size())
    __builtin_trap();
  return 0;
}
