#include "drive/read_drive.h"

#include <algorithm>
#include <array>
#include <thread>

#include "drive/ata_log_reader.h"
#include "drive/ata_transport.h"
#include "drive/device_statistics.h"
#include "drive/drive_figures.h"
#include "drive/model_series.h"
#include "drive/selftest.h"
#include "drive/smart_attributes.h"

namespace ds {

namespace {

void ResetForRead(SmartSnapshot* s) {
  s->powerOnHours = 0;
  s->powerCycles = 0;
  s->attr167Raw = 0;
  s->reallocatedRaw = 0;
  s->attr170Raw = 0;
  s->attr161Raw = 0;
  s->attr163Raw = 0;
  s->attr231Raw = 0;
  s->attributes.clear();
  s->attributeCount = 0;
  s->attribute194Celsius.reset();
  s->smartSignature = false;
  s->isSm2246 = false;
  s->isOtherSm = false;
  s->deviceStatistics.reset();
  s->selfTestLog.reset();
  s->errorLog.reset();
  s->smartStatusPassed.reset();
  s->selfTestExecution = {};
  s->selfTestCapability = {};
}

// Extended logs are read whole up to this many pages; a longer one whose newest entry lies
// further on falls back to the one-sector SMART log.
constexpr std::uint16_t kMaxExtendedLogPages = 16;
constexpr std::uint8_t kSummaryErrorLog = 0x01;
constexpr std::uint8_t kExtendedErrorLog = 0x03;
constexpr std::uint8_t kSmartSelfTestLog = 0x06;
constexpr std::uint8_t kExtendedSelfTestLog = 0x07;
constexpr std::size_t kSmartErrorLoggingByte = 370;  // bit 0: the error log is kept

// The extended log `extended` where the directory lists it, else the one-sector SMART log
// `smart` where the SMART directory lists it or, on a disk whose directory is the general
// purpose one or that has none (`directory` null: it aborts log 00h, as older disks and
// QEMU's do), where the SMART data says the disk keeps it (`smartLogKept`).
template <typename Log, typename ExtendedDecoder, typename SmartDecoder>
std::optional<Log> ReadOneLog(AtaDevice& device, const IdentifyWords& identifyWords,
                              const LogDirectory* directory, std::uint8_t extended,
                              std::uint8_t smart, bool smartLogKept, ExtendedDecoder decodeExtended,
                              SmartDecoder decodeSmart) {
  std::vector<std::uint8_t> pages;
  std::string message;
  if (directory && directory->generalPurpose && directory->PageCount(extended) != 0) {
    const auto count = std::min(directory->PageCount(extended), kMaxExtendedLogPages);
    if (ReadLogPages(device, identifyWords, extended, 0, count, &pages, &message)) {
      if (std::optional<Log> log = decodeExtended(pages, &message)) {
        log->extended = true;
        return log;
      }
    }
  }
  if (directory && !directory->generalPurpose ? directory->PageCount(smart) == 0 : !smartLogKept)
    return std::nullopt;
  // SMART READ LOG: the words of a disk without general purpose logging pick it.
  if (!ReadLogPages(device, IdentifyWords{}, smart, 0, 1, &pages, &message))
    return std::nullopt;
  return decodeSmart(pages, &message);
}

// SMART RETURN STATUS: the disk's own verdict in the LBA mid/high registers, C24Fh when no
// pre-failure attribute crossed its threshold, 2CF4h when one did; nothing when it does
// not answer either way.
std::optional<bool> ReadSmartStatus(AtaDevice& device) {
  TaskFile taskFile{kSmartReturnStatus,  0,    0,        kSmartSignatureLow,
                    kSmartSignatureHigh, 0xA0, kAtaSmart};
  std::string message;
  if (!AtaPassThroughDirectNoData(device, &taskFile, &message))
    return std::nullopt;
  if (taskFile.cylinderLow == kSmartSignatureLow && taskFile.cylinderHigh == kSmartSignatureHigh)
    return true;
  if (taskFile.cylinderLow == 0xF4 && taskFile.cylinderHigh == 0x2C)
    return false;
  return std::nullopt;
}

std::unique_ptr<AtaDevice> OpenWithRetries(const ReadDriveContext& context, int driveNumber) {
  if (!context.opener)
    return nullptr;
  AtaOpenMode mode;
  mode.readWrite = true;
  mode.noBuffering = true;
  mode.writeThrough = true;
  for (int attempt = 1; attempt <= kReadDriveOpenAttempts; ++attempt) {
    std::string message;
    std::unique_ptr<AtaDevice> device = context.opener->Open(driveNumber, mode, &message);
    if (device)
      return device;
    if (attempt == kReadDriveOpenAttempts)
      break;
    if (context.sleep) {
      context.sleep(kReadDriveOpenRetryDelay);
    } else {
      SleepFor(kReadDriveOpenRetryDelay);
    }
  }
  return nullptr;
}

}  // namespace

void SleepFor(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

bool ReadDrive(const ReadDriveContext& context, int driveNumber, SmartSnapshot* snapshot) {
  ResetForRead(snapshot);
  snapshot->modelSeries = DetectModelSeries(context.selectedModel);

  std::unique_ptr<AtaDevice> device = OpenWithRetries(context, driveNumber);
  if (!device)
    return false;

  std::array<std::uint8_t, kSmartReplyBufferBytes> buffer{};
  if (context.baseBoardProduct.find("Aptio") == std::string::npos) {
    std::string message;
    if (EnableSmart(*device, driveNumber, buffer, &message)) {
      SmartSector thresholds{};
      std::copy_n(buffer.begin(), thresholds.size(), thresholds.begin());
      ApplyThresholdSector(thresholds, &snapshot->thresholdById);
    }
  }

  buffer.fill(0);
  if (!ReadSmartData(*device, driveNumber, buffer)) {
    if (context.showMessage)
      context.showMessage("GetSmartData NG");
    return false;
  }
  SmartSector data{};
  std::copy_n(buffer.begin(), data.size(), data.begin());
  ApplyControllerSignature(data, snapshot);
  if (int celsius = 0; TemperatureFromSmartSector(data, &celsius))
    snapshot->attribute194Celsius = celsius;
  snapshot->smartStatusPassed = ReadSmartStatus(*device);
  static const AttributeTable kEmptyTable;
  ListSmartAttributes(data, context.attributeTable ? *context.attributeTable : kEmptyTable,
                      snapshot);
  snapshot->selfTestExecution = DecodeSelfTestExecution(data[kSelfTestStatusByte]);
  snapshot->selfTestCapability = DecodeSelfTestCapability(data, context.identifyWords);

  // Device statistics: only after the S.M.A.R.T. sectors, and never failing the read.
  LogDirectory directory;
  DeviceStatistics statistics;
  std::string logMessage;
  const bool haveDirectory =
      ReadLogDirectory(*device, context.identifyWords, &directory, &logMessage);
  if (haveDirectory && directory.PageCount(kDeviceStatisticsLog) != 0 &&
      ReadDeviceStatistics(*device, context.identifyWords, directory, &statistics, &logMessage)) {
    snapshot->deviceStatistics = std::move(statistics);
  }
  // The self-test and error logs, from the same directory or, without one, by the SMART
  // data; a failed read leaves them out.
  const LogDirectory* listing = haveDirectory ? &directory : nullptr;
  snapshot->selfTestLog = ReadOneLog<SelfTestLog>(
      *device, context.identifyWords, listing, kExtendedSelfTestLog, kSmartSelfTestLog,
      snapshot->selfTestCapability.supported, DecodeExtendedSelfTestLog,
      DecodeSmartSelfTestLog);
  snapshot->errorLog = ReadOneLog<ErrorLog>(
      *device, context.identifyWords, listing, kExtendedErrorLog, kSummaryErrorLog,
      (data[kSmartErrorLoggingByte] & 0x01) != 0, DecodeExtendedErrorLog, DecodeSummaryErrorLog);
  return true;
}

}  // namespace ds
