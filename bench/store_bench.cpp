#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/file_system.h"
#include "store/key_value_writer.h"
#include "text/ini_file_reader.h"

namespace {

const char* const kAlertKeys[] = {"EnableAlert",  "TemperatureType",
                                  "EnableSSL",    "Above",
                                  "Under",        "Capacity",
                                  "HealthStatus", "LifespanYears",
                                  "LifespanDays", "RefreshBy",
                                  "From",         "To",
                                  "Host",         "Port",
                                  "Id",           "Passwd",
                                  "RefreshByType"};

// Reading setting_tool_page.dat and looking up its seventeen keys.
void BM_ReadAlertSettingsFile(benchmark::State& state) {
  const std::string path =
      (std::filesystem::temp_directory_path() / "ds-bench-setting_tool_page.dat").string();
  ds::KeyValueWriter writer;
  for (const char* key : kAlertKeys)
    writer.Add(key, "value-of-some-length");
  std::string message;
  if (!writer.Save(path, ds::FileAccess::kOwnerOnly, &message)) {
    state.SkipWithError(message.c_str());
    return;
  }
  for (auto _ : state) {
    ds::IniFileReader reader = ds::ReadKeyValueFile(path);
    for (const char* key : kAlertKeys)
      benchmark::DoNotOptimize(reader.lookup(key));
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_ReadAlertSettingsFile);

}  // namespace
