#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string>

#include "drive/ata_transport.h"
#include "platform/linux/ata_sense.h"
#include "platform/sim/simulated_disk.h"
#include "text/ini_file_reader.h"

namespace {

// A disk built from a real drive's dumps, as the program's simulated machines are.
std::shared_ptr<ds::SimulatedDisk> RealDrive() {
  std::string message;
  auto disk = ds::SimulatedDisk::Load(
      std::string(DS_SOURCE_DIR) + "/../shared/real-drives/KINGSTON_SA400S37240G_SBFK71B1",
      &message);
  if (!disk)
    std::abort();
  return disk;
}

// One SMART READ DATA command through a simulated disk handle.
void BM_SimulatedSmartReadDataCommand(benchmark::State& state) {
  auto disk = RealDrive();
  std::string message;
  auto device = disk->OpenHandle(&message);
  std::array<std::uint8_t, 512> sector{};
  ds::AtaCommand command;
  command.registers = ds::TaskFile{0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0};
  command.protocol = ds::AtaProtocol::kPioDataIn;
  command.data = sector;
  for (auto _ : state) {
    ds::AtaResult result = device->Execute(command);
    benchmark::DoNotOptimize(result);
    benchmark::DoNotOptimize(sector);
  }
}
BENCHMARK(BM_SimulatedSmartReadDataCommand);

// ReadSmartData as the drive read calls it: SMART ENABLE then the buffered READ DATA.
void BM_ReadSmartDataThroughSimulatedDisk(benchmark::State& state) {
  auto disk = RealDrive();
  std::string message;
  auto device = disk->OpenHandle(&message);
  std::array<std::uint8_t, 531> buffer{};
  for (auto _ : state) {
    bool ok = ds::ReadSmartData(*device, 0, buffer, &message);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_ReadSmartDataThroughSimulatedDisk);

// Opening a handle, EnableSmart and ReadSmartData, closing: one drive read's transport work.
void BM_OpenEnableAndReadSmart(benchmark::State& state) {
  auto disk = RealDrive();
  std::array<std::uint8_t, 531> buffer{};
  std::string message;
  for (auto _ : state) {
    auto device = disk->OpenHandle(&message);
    bool ok = ds::EnableSmart(*device, 0, buffer, &message) &&
              ds::ReadSmartData(*device, 0, buffer, &message);
    benchmark::DoNotOptimize(ok);
  }
}
BENCHMARK(BM_OpenEnableAndReadSmart);

void BM_DecodeDescriptorSense(benchmark::State& state) {
  const std::uint8_t sense[] = {0x72, 0x01, 0x00, 0x1d, 0x00, 0x00, 0x00, 0x0e, 0x09, 0x0c, 0x00,
                                0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4f, 0x00, 0xc2, 0x40, 0x50};
  for (auto _ : state) {
    ds::DecodedSense decoded = ds::DecodeSense(sense);
    benchmark::DoNotOptimize(decoded);
  }
}
BENCHMARK(BM_DecodeDescriptorSense);

}  // namespace
