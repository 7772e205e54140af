#include "drive/read_drive.h"

#include <array>
#include <thread>

#include "drive/ata_log_reader.h"
#include "drive/ata_transport.h"
#include "drive/drive_figures.h"
#include "drive/device_statistics.h"
#include "drive/model_series.h"
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
  static const AttributeTable kEmptyTable;
  ListSmartAttributes(data, context.attributeTable ? *context.attributeTable : kEmptyTable,
                      snapshot);

  // Device statistics: only after the S.M.A.R.T. sectors, and never failing the read.
  LogDirectory directory;
  DeviceStatistics statistics;
  std::string logMessage;
  if (ReadLogDirectory(*device, context.identifyWords, &directory, &logMessage) &&
      directory.PageCount(kDeviceStatisticsLog) != 0 &&
      ReadDeviceStatistics(*device, context.identifyWords, directory, &statistics, &logMessage)) {
    snapshot->deviceStatistics = std::move(statistics);
  }
  return true;
}

}  // namespace ds
