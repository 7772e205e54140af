#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "drive/drive_enumerator.h"
#include "drive/drive_record.h"
#include "drive/drive_service.h"
#include "drive/message_sink.h"
#include "platform/ata_device.h"
#include "platform/disk_system.h"

// What the program sees of each kept (ATA/SATA) disk, as readable text (as smartctl users
// know it) or as JSON with every DriveRecord and SmartSnapshot field under its own name.
// The report command (cli/) and the tests use it; reading is shared with the exports.
namespace ds {

// One kept disk with what was read of it.
struct DriveReading {
  int index = 0;  // in the kept list
  DriveRecord record;
  SmartSnapshot snapshot;
  bool smartRead = false;  // the S.M.A.R.T. data sector was read
  std::vector<std::string> messages;
  std::vector<VolumeFacts> volumes;  // the mounted file systems on the disk
  // Figures of this read (FiguresOf), and how the monitor stands with the disk.
  std::optional<int> healthPercent;
  std::optional<std::int64_t> lifespanDays;  // remaining lifespan
  std::string alertState = "---";            // as `status` words it, local times
  std::string alertKind = "unknown";         // "ok", "alerted", "not watched", "gone", "unknown"
  std::int64_t alertMailed = 0;              // the last alert mail, seconds since 1970; 0: never
  std::int64_t silentUntil = 0;              // alerted: the end of its silence; 0: none or open
};

// Reads a kept drive through `drives` the way the reports and exports do: the attribute
// table of its series from `installFolder`, the erase-cycle limit starting at
// `startPeCycleLimit`. True when the data sector was read; a missing description file, a
// failed read and a disk in use elsewhere are told to `messages`.
[[nodiscard]] bool ReadDriveWithTable(DriveService& drives, const DriveRecord& drive,
                                      const std::string& installFolder, int startPeCycleLimit,
                                      const MessageSink& messages, SmartSnapshot* snapshot);

// The whole report: a "no ATA or SATA disk" note when the list is empty, else every reading.
void WriteReport(std::ostream& out, const DriveList& list,
                 const std::vector<DriveReading>& readings, bool json);

}  // namespace ds
