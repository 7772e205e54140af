#pragma once

#include <cstdint>
#include <vector>

#include "drive/drive_record.h"
#include "monitor/disk_watch.h"
#include "platform/disk_system.h"
#include "store/history_records.h"
#include "store/settings.h"

// What one good read of a kept disk gives the watch, shared by the monitor's pass and the
// `status` command's own reads: the disk's figures for its state and, when its rules are
// due, the rules that fire with that disk's own temperature, volumes and history start.
namespace ds {

// Marks `seen` read with the figures of `smart` (FiguresOf, with `start` when it has a start
// value of either source); with `rules`, runs the five rules on disk `driveNumber`'s volumes among
// `volumes` into `seen->fired`.
void TakeGoodRead(const SmartSnapshot& smart, int driveNumber, const HistoryStart& start,
                  std::int64_t daysSinceStart, const std::vector<VolumeFacts>& volumes,
                  const AlertSettings* rules, SeenDisk* seen);

}  // namespace ds
