#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drive/device_statistics.h"
#include "drive/error_log.h"
#include "drive/selftest.h"
#include "drive/selftest_log.h"
#include "platform/storage_bus.h"

namespace ds {

// Capacity of every text field of a drive record, terminating NUL included: longer texts
// are cut so a record never carries more than the pages and history folders expect.
inline constexpr std::size_t kDriveTextCapacity = 256;

// Stores `text` in `field`, cut to the record's text capacity.
void SetDriveText(std::string& field, std::string_view text);

// Appends `text` to `field` as "old, new" (or just "new" when the field is empty), cut to
// the record's text capacity. Volume letters, labels and file systems are joined this way.
void AppendDriveText(std::string& field, std::string_view text);

// One physical disk as the enumeration found it: identity texts, volumes, transfer modes,
// capacity, bus type and the raw IDENTIFY sector. Filled by DriveEnumerator; the kept
// (ATA/SATA) records are what the pages, the monitor and the history folders work from.
struct DriveRecord {
  std::string model;         // IDENTIFY words 27-46 as stored, not trimmed
  std::string volumeLabels;  // labels of the disk's volumes, joined by ", "
  std::string firmware;      // IDENTIFY words 23-26, trimmed
  std::string fileSystems;   // file-system names of its volumes, joined by ", "
  std::string serial;        // IDENTIFY words 10-19, trimmed
  std::string driveLetters;  // mount points of its volumes, joined by ", "
  std::string usbVendor;
  std::string usbRevision;
  std::string mediaType;  // "FIXED(0040)", "REMOVABLE(0080)", "CompactFlash ATA(848A)"
  std::string usbSpeed;   // "Low speed", "Full speed", "High speed", "SuperSpeed(+)"
  std::uint8_t pioMode = 0;
  std::uint8_t udmaMode = 0;
  std::uint64_t sectorCount = 0;
  std::int32_t driveNumber = -1;  // -1 for an unused slot
  std::uint32_t usbVendorId = 0;
  std::uint32_t usbProductId = 0;
  std::uint32_t cylinders = 0;
  std::uint32_t heads = 0;
  std::uint32_t sectorsPerTrack = 0;
  std::uint8_t smartState = 0;  // 0 not reported, 1 supported, 2 supported and enabled
  std::uint8_t hpaState = 0;    // 1 feature absent, 2 enabled, 0 present but off
  std::uint8_t securitySupported = 0;
  std::uint8_t cfaSupported = 0;
  std::uint8_t busType = kBusTypeUnknown;
  std::array<std::uint16_t, 256> identifyWords{};  // all zero when IDENTIFY did not answer
};

// One listed S.M.A.R.T. attribute: the data-sector slot joined with its threshold and the
// description-table name.
struct SmartAttribute {
  std::uint8_t id = 0;
  std::string name;
  std::uint64_t flags = 0;
  std::uint64_t current = 0;
  std::uint64_t worst = 0;
  std::uint64_t threshold = 0;
  std::uint64_t raw = 0;

  std::string flagsText() const;      // "0x%04X"
  std::string currentText() const;    // "%d"
  std::string worstText() const;      // "%d"
  std::string thresholdText() const;  // "%d"
};

// The rated program/erase cycle limit used until a disk reports attribute 168.
inline constexpr int kDefaultPeCycleLimit = 3000;

// The S.M.A.R.T. state of the disk read last: the attribute list in description-table
// order, thresholds by id, the summary raw values the pages and alert rules use, the
// controller signature and the series code. ReadDrive fills a fresh copy and the owner
// publishes it whole, so readers never see a half-refilled snapshot.
struct SmartSnapshot {
  int attributeCount = 0;  // always attributes.size()
  std::vector<SmartAttribute> attributes;
  std::array<std::uint8_t, 256> thresholdById{};
  std::uint64_t powerOnHours = 0;
  std::uint64_t powerCycles = 0;
  std::uint64_t attr167Raw = 0;
  std::uint64_t reallocatedRaw = 0;
  std::uint64_t attr170Raw = 0;
  std::uint64_t attr161Raw = 0;
  std::uint64_t attr163Raw = 0;
  std::uint64_t attr231Raw = 0;
  int temperature = 0;  // of the listed attribute 194; carries over a read without it
  // The first raw byte of the last of the data sector's 31 slots with id 194, listed or not:
  // the temperature the Disk Information page shows. Missing when no slot has it.
  std::optional<int> attribute194Celsius;
  int peCycleLimit = kDefaultPeCycleLimit;
  bool smartSignature = false;
  bool isSm2246 = false;
  bool isOtherSm = false;
  int modelSeries = 99;
  // The Device Statistics log, when the log directory lists it and it was read.
  std::optional<DeviceStatistics> deviceStatistics;
  // The self-test log and the error log, when the disk keeps them and they were read.
  std::optional<SelfTestLog> selfTestLog;
  std::optional<ErrorLog> errorLog;
  // Whether the disk runs self-tests and how long they take, and the state of the last one.
  SelfTestCapability selfTestCapability;
  SelfTestExecution selfTestExecution;
};

}  // namespace ds
