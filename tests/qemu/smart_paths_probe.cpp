#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "drive/ata_transport.h"
#include "platform/linux/linux_ata_device.h"
#include "platform/task_file.h"
#include "text/json_text.h"

// Guest-side probe: S.M.A.R.T. commands through our SG_IO and HDIO_DRIVE_CMD paths, answers as
// JSON.
namespace {

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (std::uint8_t byte : bytes)
    text += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 0x0F]};
  return text;
}

std::string Registers(const ds::TaskFile& file) {
  char text[160];
  std::snprintf(text, sizeof text,
                "{\"error\": %d, \"count\": %d, \"lbaLow\": %d, \"lbaMid\": %d, \"lbaHigh\": %d, "
                "\"device\": %d, \"status\": %d}",
                file.features, file.sectorCount, file.sectorNumber, file.cylinderLow,
                file.cylinderHigh, file.deviceHead, file.command);
  return text;
}

std::string Entry(bool ok, const std::string& message, std::span<const std::uint8_t> data,
                  const ds::TaskFile* registers = nullptr) {
  std::string entry = std::string("{\"ok\": ") + (ok ? "true" : "false") +
                      ", \"message\": " + ds::JsonString(message);
  if (!data.empty())
    entry += ", \"data\": \"" + Hex(data) + "\"";
  if (registers != nullptr)
    entry += ", \"registers\": " + Registers(*registers);
  return entry + "}";
}

ds::TaskFile SmartRegisters(std::uint8_t feature) {
  return ds::TaskFile{feature,      1, 0, ds::kSmartSignatureLow, ds::kSmartSignatureHigh, 0xA0,
                      ds::kAtaSmart};
}

// Driver-path reply: a data command fills `sector`; the result says whether it worked.
std::string DriverRead(ds::AtaDevice& device, const ds::TaskFile& registers,
                       std::vector<std::uint8_t>* sector) {
  sector->assign(ds::kAtaSectorBytes, 0);
  ds::AtaResult result = device.SmartDriverCommand(registers, *sector);
  return Entry(result.transportOk, result.osErrorText, *sector, &result.registers);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: smart_paths_probe /dev/sdX\n");
    return 2;
  }
  std::string message;
  ds::AtaOpenMode mode;
  mode.readWrite = mode.noBuffering = mode.writeThrough = true;
  auto device = ds::LinuxAtaDevice::Open(argv[1], mode, nullptr, &message);
  if (!device) {
    std::printf("{\"open\": %s}\n", Entry(false, message, {}).c_str());
    return 1;
  }
  std::string json;
  auto add = [&json](const char* name, const std::string& entry) {
    json += (json.empty() ? "" : ",\n ") + std::string("\"") + name + "\": " + entry;
  };
  std::vector<std::uint8_t> sector(ds::kSmartSectorBytes, 0), driverSector;

  // S.M.A.R.T. data: pass-through, driver path, and the combined read (driver as fall-back).
  ds::TaskFile registers = SmartRegisters(ds::kSmartReadData);
  bool ok = ds::AtaPassThrough(*device, &registers, sector, ds::kAtaFlagsDataIn, &message);
  add("passThrough", Entry(ok, ok ? "" : message, sector, &registers));
  add("driver", DriverRead(*device, SmartRegisters(ds::kSmartReadData), &driverSector));
  std::vector<std::uint8_t> buffer(ds::kSmartReplyBufferBytes, 0);
  message.clear();
  ok = ds::ReadSmartData(*device, 0, buffer, &message);
  add("readSmartData", Entry(ok, message, std::span(buffer).first(ds::kSmartSectorBytes)));

  // Thresholds: EnableSmart (driver enable, direct pass-through read) and the driver path alone.
  sector.assign(ds::kSmartSectorBytes, 0);
  ok = ds::EnableSmart(*device, 0, sector, &message);
  add("thresholds", Entry(ok, message, sector));
  add("thresholdsDriver",
      DriverRead(*device, SmartRegisters(ds::kSmartReadThresholds), &driverSector));

  // SMART RETURN STATUS: a non-data command whose answer is in the returned registers.
  registers = SmartRegisters(ds::kSmartReturnStatus);
  registers.sectorCount = 0;
  ok = ds::AtaPassThroughDirectNoData(*device, &registers, &message);
  add("returnStatus", Entry(ok, message, {}, &registers));

  // READ LOG of the directory, aborted by QEMU: status and error registers, no transport failure.
  sector.assign(ds::kAtaSectorBytes, 0);
  registers = SmartRegisters(0xD5);
  registers.sectorNumber = 0x00;
  ok = ds::AtaPassThroughDirectRead(*device, &registers, sector, &message);
  add("abortedCommand", Entry(ok, message, {}, &registers));
  std::printf("{%s}\n", json.c_str());
  return 0;
}
