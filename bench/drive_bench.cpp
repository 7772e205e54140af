// A monitor pass's disk work on the sample machine: the drive list and one S.M.A.R.T. read.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "drive/drive_enumerator.h"
#include "drive/read_drive.h"
#include "platform/sim/simulated_machine.h"
#include "store/description_tables.h"

namespace {

void BM_RefreshDriveListAndReadDrive(benchmark::State& state) {
  std::string message;
  auto machine =
      ds::SimulatedMachine::Load(std::string(DS_SOURCE_DIR) + "/data/sim/demo", &message);
  ds::AttributeTable table;
  if (!machine || ds::LoadAttributeTable(table, std::string(DS_SOURCE_DIR) + "/", 0) != 1) {
    state.SkipWithError("the sample machine or the attribute table does not load");
    return;
  }
  ds::ReadDriveContext context;
  context.opener = machine.get();
  context.attributeTable = &table;
  context.selectedModel = "QRA-X50 256GB SATA SSD";
  ds::SmartSnapshot snapshot;
  for (auto _ : state) {
    const ds::DriveList list = ds::RefreshDriveList(*machine, nullptr);
    if (list.driveCount != 4 || ds::ReadDrive(context, 0, &snapshot) != 1)
      state.SkipWithError("the sample machine reads wrong");
  }
}
BENCHMARK(BM_RefreshDriveListAndReadDrive)->Unit(benchmark::kMicrosecond);

}  // namespace
