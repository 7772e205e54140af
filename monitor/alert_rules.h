#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/settings.h"

// The alert rules of the monitor, as a pure function: the settings and one disk's
// temperature, volumes, figures (FiguresOf: health and remaining lifespan, from the maker's
// erase count or another disk's endurance indicator) and own verdict in; the messages of the
// rules that fired out: a failed verdict first (the gravest; the first line names the mail's
// kind for the alert hook), then the five limits in rule order (the state keeps the last).
// Every threshold text is taken by the leading-integer rule and an empty one switches its
// rule off. Comparisons are signed: a negative limit typed on the Tool page compares as
// negative, and a worn-out disk has a health and a remaining lifespan of 0, never a huge
// number.
namespace ds {

// A mounted volume of the selected disk and the space its users may still fill.
struct VolumeSpace {
  std::string mountPoint;        // shown where Windows showed "C:"
  std::uint64_t freeBytes = 0;   // available to users (statvfs f_bavail)
  std::uint64_t totalBytes = 0;  // 0: unknown, the volume is skipped
};

struct AlertInputs {
  AlertSettings settings;
  int temperatureCelsius = 0;
  std::vector<VolumeSpace> volumes;
  // Rules 4 and 5 fire only on a figure the disk has (DriveFigures).
  std::optional<int> healthPercent;
  std::optional<std::int64_t> lifespanDays;
  // SMART RETURN STATUS: fires on false only, never when the disk gave no verdict.
  std::optional<bool> smartStatusPassed;
};

std::vector<std::string> FiredAlerts(const AlertInputs& inputs);

}  // namespace ds
