#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/settings.h"

// The five alert rules of the monitor, as a pure function: the settings, the S.M.A.R.T.
// figures of the selected disk, its volumes and the history's start in; the messages of
// the rules that fired out, in rule order (the mail carries the last). Every threshold text
// is taken by the leading-integer rule and an empty one switches its rule off. Comparisons
// are signed: a negative limit typed on the Tool page compares as negative, and a disk worn
// beyond its rated cycles has a health and a remaining lifespan of 0, never a huge number.
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
  std::uint64_t eraseCount = 0;  // attribute 167 raw, E
  int peCycleLimit = 3000;       // L
  int modelSeries = 99;          // rules 4 and 5 are for series 0 only
  std::vector<VolumeSpace> volumes;
  std::int32_t startEraseCount = -1;  // of the history's start record
  std::int64_t daysSinceStart = 0;    // whole days from the start date to now
};

std::vector<std::string> FiredAlerts(const AlertInputs& inputs);

}  // namespace ds
