// Disk and settings work of a monitor pass on the sample machine: the drive list, one
// S.M.A.R.T. read through the simulated disk, and reading the alert settings file.
#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "drive/drive_enumerator.h"
#include "drive/read_drive.h"
#include "platform/sim/simulated_machine.h"
#include "store/description_tables.h"
#include "store/settings.h"
#include "tests/temp_folder.h"

namespace {

void BM_RefreshDriveListAndReadDrive(benchmark::State& state) {
  std::string message;
  auto machine =
      ds::SimulatedMachine::Load(std::string(DS_SOURCE_DIR) + "/data/sim/demo", &message);
  ds::AttributeTable table;
  if (!machine || !ds::LoadAttributeTable(table, std::string(DS_SOURCE_DIR) + "/", 0))
    return state.SkipWithError("the sample machine or the attribute table does not load");
  ds::ReadDriveContext context;
  context.opener = machine.get(), context.attributeTable = &table;
  context.selectedModel = "QRA-X50 256GB SATA SSD";
  ds::SmartSnapshot snapshot;
  for (auto _ : state) {
    const ds::DriveList list = ds::RefreshDriveList(*machine, nullptr);
    if (list.driveCount != 4 || !ds::ReadDrive(context, 0, &snapshot))
      state.SkipWithError("the sample machine reads wrong");
  }
}
BENCHMARK(BM_RefreshDriveListAndReadDrive)->Unit(benchmark::kMicrosecond);

// setting_tool_page.dat with every key filled, read and parsed.
void BM_LoadAlertSettings(benchmark::State& state) {
  ds::TempFolder home;
  std::filesystem::create_directories(home.path() + "data");
  ds::AlertSettings filled;
  filled.Above = filled.From = filled.To = filled.Host = filled.Passwd = "value-of-some-length";
  ds::SaveAlertSettings(filled, home.path());
  std::atomic<int> busy{0};
  for (auto _ : state) {
    ds::AlertSettings read;
    ds::LoadAlertSettings(read, busy, home.path());
    if (read.Passwd != filled.Passwd)
      state.SkipWithError("the settings read back wrong");
  }
}
BENCHMARK(BM_LoadAlertSettings)->Unit(benchmark::kMicrosecond);

}  // namespace
