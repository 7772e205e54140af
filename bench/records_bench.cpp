// Drive enumeration and S.M.A.R.T. read on the sample machine.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "drive/drive_enumerator.h"
#include "drive/read_drive.h"
#include "platform/sim/simulated_machine.h"
#include "store/description_tables.h"

namespace {

std::unique_ptr<ds::SimulatedMachine> DemoMachine() {
  std::string message;
  return ds::SimulatedMachine::Load(std::string(DS_SOURCE_DIR) + "/data/sim/demo", &message);
}

// The whole enumeration (five passes, IDENTIFY of every disk) and the ATA/SATA filter.
void BM_RefreshDriveListDemo(benchmark::State& state) {
  auto machine = DemoMachine();
  if (!machine) {
    state.SkipWithError("sample machine does not load");
    return;
  }
  for (auto _ : state) {
    ds::DriveList list = ds::RefreshDriveList(*machine, nullptr);
    benchmark::DoNotOptimize(list.driveCount);
  }
}
BENCHMARK(BM_RefreshDriveListDemo)->Unit(benchmark::kMicrosecond);

// One ReadDrive of the series-0 sample disk: open, SMART enable and thresholds, data read,
// attribute list against the delivered table.
void BM_ReadDriveDemo(benchmark::State& state) {
  auto machine = DemoMachine();
  ds::AttributeTable table;
  if (!machine || ds::LoadAttributeTable(table, std::string(DS_SOURCE_DIR) + "/", 0) != 1) {
    state.SkipWithError("sample machine or attribute table does not load");
    return;
  }
  ds::ReadDriveContext context;
  context.opener = machine.get();
  context.attributeTable = &table;
  context.selectedModel = "QRA-X50 256GB SATA SSD";
  context.sleep = [](std::chrono::milliseconds) {};
  ds::SmartSnapshot snapshot;
  for (auto _ : state) {
    int read = ds::ReadDrive(context, 0, &snapshot);
    benchmark::DoNotOptimize(read);
  }
  state.counters["attributes"] = snapshot.attributeCount;
}
BENCHMARK(BM_ReadDriveDemo)->Unit(benchmark::kMicrosecond);

}  // namespace
