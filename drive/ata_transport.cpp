#include "drive/ata_transport.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace ds {

namespace {

constexpr std::uint8_t kSmartCacheDeviceHead = 0xA0;  // SMART driver requests
constexpr std::uint8_t kLbaDeviceHead = 0xE0;         // threshold read

std::string Format(const char* format, auto... values) {
  char text[1024];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

// The text of a transport failure: the device's own description when it gave one.
std::string FailureText(const AtaResult& result) {
  return result.osErrorText.empty() ? LastErrorText(result.osError) : result.osErrorText;
}

TaskFile SmartDriverRegisters(std::uint8_t subCommand) {
  return TaskFile{subCommand, 1, 1, kSmartSignatureLow, kSmartSignatureHigh, kSmartCacheDeviceHead,
                  kAtaSmart};
}

// SMART ENABLE OPERATIONS through the SMART driver path.
bool EnableSmartThroughDriver(AtaDevice& device, std::string* message) {
  const AtaResult result =
      device.SmartDriverCommand(SmartDriverRegisters(kSmartEnableOperations), {});
  if (!result.transportOk) {
    *message = Format("Failed to enable SMART (%s ErrCode: 0x%X).", FailureText(result).c_str(),
                      static_cast<unsigned>(result.osError));
    return false;
  }
  return true;
}

bool DirectPassThrough(AtaDevice& device, TaskFile* taskFile, AtaDataDirection direction,
                       std::span<std::uint8_t> data, std::string* message, int timeoutMs) {
  if (data.empty())
    direction = AtaDataDirection::kNone;
  AtaCommand command;
  command.registers = *taskFile;
  command.protocol = ChooseProtocol(taskFile->command, direction);
  command.data = direction == AtaDataDirection::kNone ? std::span<std::uint8_t>() : data;
  command.timeoutMs = timeoutMs;

  const auto start = std::chrono::steady_clock::now();
  const AtaResult result = device.Execute(command);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
  // A command that never reached the device leaves the registers as they were sent.
  if (result.transportOk)
    *taskFile = result.registers;
  const unsigned status = taskFile->status();
  const bool ok = result.transportOk && (status & (kAtaStatusErr | kAtaStatusDrq)) == 0;
  if (ok) {
    *message =
        Format("Status: 0x%X, spend time: %d milliseconds.", status, static_cast<int>(elapsed));
  } else {
    *message = Format(
        "IOCTL_ATA_PASS_THROUGH_DIRECT failed! Status: 0x%X (%s ErrCode: 0x%X), spend time: %d "
        "milliseconds.",
        status, FailureText(result).c_str(), static_cast<unsigned>(result.osError),
        static_cast<int>(elapsed));
  }
  return ok;
}

}  // namespace

bool AtaPassThrough(AtaDevice& device, TaskFile* taskFile, std::span<std::uint8_t> data, int flags,
                    std::string* message) {
  AtaDataDirection direction = AtaDataDirection::kNone;
  if (flags & kAtaFlagsDataIn) {
    direction = AtaDataDirection::kIn;
  } else if (flags & kAtaFlagsDataOut) {
    direction = AtaDataDirection::kOut;
  }
  if (data.empty())
    direction = AtaDataDirection::kNone;
  // Marks the data area, so a driver that moved nothing is recognisable.
  if (direction == AtaDataDirection::kIn)
    data[0] = 0xCF;

  AtaCommand command;
  command.registers = *taskFile;
  command.protocol = ChooseProtocol(taskFile->command, direction);
  command.data = direction == AtaDataDirection::kNone ? std::span<std::uint8_t>() : data;
  command.timeoutMs = kBufferedPassThroughTimeoutMs;
  const std::uint8_t sentCommand = taskFile->command;

  const AtaResult result = device.Execute(command);
  if (!result.transportOk) {
    *message = "IOCTL_ATA_PASS_THROUGH failed, Error=" + FailureText(result);
    return false;
  }
  *taskFile = result.registers;
  if (taskFile->status() != kAtaStatusGood) {
    *message =
        Format("IOCTL_ATA_PASS_THROUGH Failed (2), Err=0x%02X", static_cast<unsigned>(sentCommand));
    return false;
  }
  return true;
}

bool AtaPassThroughDirectRead(AtaDevice& device, TaskFile* taskFile, std::span<std::uint8_t> buffer,
                              std::string* message, int timeoutMs) {
  return DirectPassThrough(device, taskFile, AtaDataDirection::kIn, buffer, message, timeoutMs);
}

bool AtaPassThroughDirectWrite(AtaDevice& device, TaskFile* taskFile,
                               std::span<const std::uint8_t> buffer, std::string* message,
                               int timeoutMs) {
  // The device only reads a data-out buffer.
  const std::span<std::uint8_t> data(const_cast<std::uint8_t*>(buffer.data()), buffer.size());
  return DirectPassThrough(device, taskFile, AtaDataDirection::kOut, data, message, timeoutMs);
}

bool AtaPassThroughDirectNoData(AtaDevice& device, TaskFile* taskFile, std::string* message,
                                int timeoutMs) {
  return DirectPassThrough(device, taskFile, AtaDataDirection::kNone, {}, message, timeoutMs);
}

bool EnableSmartPassThrough(AtaDevice& device, int driveNumber, std::string* message) {
  TaskFile taskFile{
      kSmartEnableOperations,          0,        0, kSmartSignatureLow, kSmartSignatureHigh,
      DeviceHeadForDrive(driveNumber), kAtaSmart};
  return AtaPassThrough(device, &taskFile, {}, kAtaFlagsDataOut, message);
}

bool EnableSmart(AtaDevice& device, int driveNumber, std::span<std::uint8_t> thresholdBuffer,
                 std::string* message) {
  (void)driveNumber;  // the SMART driver path addresses the opened disk itself
  if (thresholdBuffer.size() < kSmartSectorBytes) {
    *message = "ENABLE SMART: the threshold buffer holds fewer than 512 bytes.";
    return false;
  }
  auto exclusive = device.HoldExclusive();
  if (!EnableSmartThroughDriver(device, message))
    return false;
  TaskFile taskFile{kSmartReadThresholds, 1,        0, kSmartSignatureLow, kSmartSignatureHigh,
                    kLbaDeviceHead,       kAtaSmart};
  return AtaPassThroughDirectRead(device, &taskFile, thresholdBuffer.first(kSmartSectorBytes),
                                  message);
}

bool ReadSmartData(AtaDevice& device, int driveNumber, std::span<std::uint8_t> dataBuffer,
                   std::string* message) {
  std::string scratch;
  std::string* text = message ? message : &scratch;
  if (dataBuffer.size() < kSmartSectorBytes) {
    *text = "READ SMART DATA: the data buffer holds fewer than 512 bytes.";
    return false;
  }
  const std::span<std::uint8_t> sector = dataBuffer.first(kSmartSectorBytes);
  auto exclusive = device.HoldExclusive();
  EnableSmartPassThrough(device, driveNumber, text);
  TaskFile taskFile{kSmartReadData,
                    1,
                    0,
                    kSmartSignatureLow,
                    kSmartSignatureHigh,
                    DeviceHeadForDrive(driveNumber),
                    kAtaSmart};
  if (AtaPassThrough(device, &taskFile, sector, kAtaFlagsDataIn, text))
    return true;

  // The SMART driver path puts the sector at byte 0 of the buffer.
  if (!EnableSmartThroughDriver(device, text))
    return false;
  const AtaResult result = device.SmartDriverCommand(SmartDriverRegisters(kSmartReadData), sector);
  if (!result.transportOk) {
    *text = Format("Failed to read SMART data (%s ErrCode: 0x%X).", FailureText(result).c_str(),
                   static_cast<unsigned>(result.osError));
    return false;
  }
  return true;
}

std::string LastErrorText(int osError) {
  const char* text = osError > 0 ? ::strerrordesc_np(osError) : nullptr;
  if (text == nullptr)
    return "Sorry, cannot find this error info.";
  return text;
}

}  // namespace ds
