#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "drive/ata_log_reader.h"
#include "drive/drive_record.h"
#include "drive/message_sink.h"
#include "platform/ata_device.h"
#include "store/description_tables.h"

namespace ds {

// Pauses the calling thread; injectable so tests and benchmarks do not wait.
using Sleeper = std::function<void(std::chrono::milliseconds)>;

// The real pause.
void SleepFor(std::chrono::milliseconds duration);

// Everything ReadDrive needs besides the snapshot: where disks come from, the program state
// it reads (selected disk's model, motherboard product, attribute table), and where its
// message and its retry pauses go.
struct ReadDriveContext {
  AtaDeviceOpener* opener = nullptr;
  const AttributeTable* attributeTable = nullptr;  // null reads as an empty table
  std::string selectedModel;                       // gives the series code
  std::string baseBoardProduct;                    // "Aptio" boards skip the SMART enable
  IdentifyWords identifyWords{};  // picks the log commands; all zero: SMART READ LOG
  MessageSink showMessage;        // receives "GetSmartData NG"
  Sleeper sleep;                  // empty: SleepFor
};

// Opening a disk is tried this many times, this far apart.
inline constexpr int kReadDriveOpenAttempts = 10;
inline constexpr std::chrono::milliseconds kReadDriveOpenRetryDelay{200};

// Reads the S.M.A.R.T. state of drive `driveNumber` into `snapshot`, which holds the
// previous state on entry (temperature, peCycleLimit and thresholdById carry over when
// the disk does not report them). True when the data sector was read; a failed data read
// shows "GetSmartData NG". After the data sector the Device Statistics log is read when
// the log directory lists it; a failing log read leaves it unset and the result alone. The snapshot
// is the caller's private copy: publish it whole afterwards.
[[nodiscard]] bool ReadDrive(const ReadDriveContext& context, int driveNumber,
                             SmartSnapshot* snapshot);

}  // namespace ds
