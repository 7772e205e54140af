#include "monitor/good_read.h"

#include "drive/drive_figures.h"
#include "monitor/alert_rules.h"

namespace ds {

void TakeGoodRead(const SmartSnapshot& smart, int driveNumber, const HistoryStart& start,
                  std::int64_t daysSinceStart, const std::vector<VolumeFacts>& volumes,
                  const AlertSettings* rules, SeenDisk* seen) {
  const bool started = start.avg_erase_count >= 0;
  const DriveFigures figures =
      FiguresOf(smart, started ? &start : nullptr, started ? daysSinceStart : 0);
  seen->read = true;
  seen->readings.temperatureCelsius = figures.temperatureCelsius;
  seen->readings.healthPercent = figures.healthPercent;
  seen->readings.lifespanDays = figures.lifespanDays;
  seen->counters = CountersOf(smart);
  if (rules == nullptr)
    return;
  AlertInputs inputs;
  inputs.settings = *rules;
  inputs.temperatureCelsius = smart.temperature;
  inputs.eraseCount = smart.attr167Raw;
  inputs.peCycleLimit = smart.peCycleLimit;
  inputs.modelSeries = smart.modelSeries;
  for (const VolumeFacts& volume : volumes) {
    if (volume.driveNumber == driveNumber)
      inputs.volumes.push_back({volume.mountPoint, volume.freeBytes, volume.totalBytes});
  }
  inputs.startEraseCount = start.avg_erase_count;
  inputs.daysSinceStart = started ? daysSinceStart : 0;
  seen->fired = FiredAlerts(inputs);
}

}  // namespace ds
