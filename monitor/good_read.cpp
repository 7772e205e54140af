#include "monitor/good_read.h"

#include "drive/drive_figures.h"
#include "monitor/alert_rules.h"

namespace ds {

void TakeGoodRead(const SmartSnapshot& smart, int driveNumber, const HistoryStart& start,
                  std::int64_t daysSinceStart, const std::vector<VolumeFacts>& volumes,
                  const AlertSettings* rules, SeenDisk* seen) {
  // A start record of either source; FiguresOf uses it only for a figure of the same.
  const bool started =
      start.isEndurance() ? start.percentage_used >= 0 : start.avg_erase_count >= 0;
  const DriveFigures figures =
      FiguresOf(smart, started ? &start : nullptr, started ? daysSinceStart : 0);
  seen->read = true;
  seen->readings.temperatureCelsius = figures.temperatureCelsius;
  seen->readings.healthPercent = figures.healthPercent;
  seen->readings.lifespanDays = figures.lifespanDays;
  seen->readings.smartStatusPassed = smart.smartStatusPassed;
  seen->counters = CountersOf(smart);
  if (rules == nullptr)
    return;
  AlertInputs inputs;
  inputs.settings = *rules;
  inputs.temperatureCelsius = smart.temperature;
  for (const VolumeFacts& volume : volumes) {
    if (volume.driveNumber == driveNumber)
      inputs.volumes.push_back({volume.mountPoint, volume.freeBytes, volume.totalBytes});
  }
  inputs.healthPercent = figures.healthPercent;
  inputs.lifespanDays = figures.lifespanDays;
  inputs.smartStatusPassed = smart.smartStatusPassed;
  seen->fired = FiredAlerts(inputs);
}

}  // namespace ds
