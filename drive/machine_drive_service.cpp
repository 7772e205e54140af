#include "drive/machine_drive_service.h"

#include <set>

#include "drive/power_mode.h"
#include "drive/read_drive.h"

namespace ds {
namespace {

// An open disk that keeps its disk held for as long as it is open.
class HeldDisk : public AtaDevice {
 public:
  HeldDisk(std::unique_ptr<AtaDevice> device, DiskSequenceLocks::Hold hold)
      : hold_(std::move(hold)), device_(std::move(device)) {}
  AtaResult Execute(const AtaCommand& command) override { return device_->Execute(command); }
  AtaResult SmartDriverCommand(const TaskFile& registers, std::span<std::uint8_t> dataIn) override {
    return device_->SmartDriverCommand(registers, dataIn);
  }
  bool PassThroughAvailable() const override { return device_->PassThroughAvailable(); }
  bool BridgeRefusedLog(std::uint8_t address) const override {
    return device_->BridgeRefusedLog(address);
  }
  std::unique_lock<std::recursive_mutex> HoldExclusive() override {
    return device_->HoldExclusive();
  }
  const std::string& name() const override { return device_->name(); }
  bool FlushCaches(std::string* message) override { return device_->FlushCaches(message); }

 private:
  DiskSequenceLocks::Hold hold_;  // released after the device is closed
  std::unique_ptr<AtaDevice> device_;
};

// The enumeration's opener: each open disk is held until it is closed. Disks that could not
// be held are noted, so they keep their last record.
class HoldingOpener : public AtaDeviceOpener {
 public:
  // Disks whose key is in `leftAlone` (spun down) are not opened at all.
  HoldingOpener(DiskSystem& disks, DiskSequenceLocks& locks, const MessageSink& log,
                std::set<std::string> leftAlone)
      : disks_(disks), locks_(locks), log_(log), leftAlone_(std::move(leftAlone)) {}
  std::unique_ptr<AtaDevice> Open(int driveNumber, const AtaOpenMode& mode,
                                  std::string* message) override {
    if (unheld_.count(driveNumber) != 0)
      return nullptr;  // waited for once in this enumeration already
    const std::string key = disks_.DiskKey(driveNumber);
    if (key.empty())
      return disks_.Open(driveNumber, mode, message);  // no such disk: the open says so
    if (leftAlone_.count(key) != 0) {
      unheld_.insert(driveNumber);  // asleep: it keeps its last record, unasked
      return nullptr;
    }
    std::optional<DiskSequenceLocks::Hold> hold = locks_.Acquire(key, message);
    if (!hold) {
      if (unheld_.insert(driveNumber).second && log_ && message != nullptr)
        log_(*message);
      return nullptr;
    }
    std::unique_ptr<AtaDevice> device = disks_.Open(driveNumber, mode, message);
    if (!device)
      return nullptr;
    return std::make_unique<HeldDisk>(std::move(device), std::move(*hold));
  }
  const std::set<int>& unheld() const { return unheld_; }

 private:
  DiskSystem& disks_;
  DiskSequenceLocks& locks_;
  const MessageSink& log_;
  const std::set<std::string> leftAlone_;
  std::set<int> unheld_;
};

}  // namespace

MachineDriveService::MachineDriveService(DiskSystem& disks, std::string lockFolder,
                                         std::string baseBoardProduct, MessageSink log,
                                         std::chrono::milliseconds lockWait)
    : disks_(disks),
      locks_(std::move(lockFolder), lockWait),
      baseBoardProduct_(std::move(baseBoardProduct)),
      log_(std::move(log)) {}

MessageSink MachineDriveService::Both(const MessageSink& shown) const {
  return [this, &shown](std::string_view text) {
    if (log_)
      log_(text);
    if (shown)
      shown(text);
  };
}

std::optional<DiskSequenceLocks::Hold> MachineDriveService::Hold(int driveNumber,
                                                                 std::string* message) {
  const std::string key = disks_.DiskKey(driveNumber);
  if (key.empty()) {
    *message = "there is no disk " + std::to_string(driveNumber);
    return std::nullopt;
  }
  return locks_.Acquire(key, message);
}

std::set<std::string> MachineDriveService::SpunDownDisks() {
  std::map<int, DriveRecord> known;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    known = lastRecords_;
  }
  std::set<std::string> keys;
  for (const auto& [number, record] : known) {
    if (!IsRotatingDisk(record.identifyWords) || disks_.IsBusy(number))
      continue;
    std::string message;
    std::optional<DiskSequenceLocks::Hold> hold = Hold(number, &message);
    AtaOpenMode mode;
    mode.readWrite = false;
    std::unique_ptr<AtaDevice> device = hold ? disks_.Open(number, mode, &message) : nullptr;
    if (device != nullptr && CheckPowerMode(*device) == PowerState::kStandby)
      keys.insert(disks_.DiskKey(number));
  }
  return keys;
}

DriveList MachineDriveService::RefreshDriveList(const MessageSink& shown) {
  // IDENTIFY may spin a sleeping disk up: one known to rotate is asked CHECK POWER MODE
  // first, and a spun-down one keeps its last record.
  HoldingOpener opener(disks_, locks_, log_, SpunDownDisks());
  DriveList list = ds::RefreshDriveList(disks_, Both(shown), &opener);
  std::lock_guard<std::mutex> lock(mutex_);
  std::map<int, DriveRecord> records;
  for (const DriveRecord& record : list.drives)
    records[record.driveNumber] = record;
  // A disk being erased, here or elsewhere, could not answer IDENTIFY: it keeps the record
  // it had before.
  for (const auto& [number, record] : lastRecords_) {
    if (disks_.IsBusy(number) || opener.unheld().count(number) != 0)
      records[number] = record;
  }
  list.drives.clear();
  list.driveIndexMap.clear();
  for (auto& [number, record] : records) {
    list.drives.push_back(record);
    list.driveIndexMap.push_back(number);
  }
  list.driveCount = static_cast<int>(list.drives.size());
  lastRecords_ = std::move(records);
  return list;
}

DiskRead MachineDriveService::Read(const DriveRecord& drive, const AttributeTable& table,
                                   SmartSnapshot* snapshot, WakeDisk wake,
                                   const MessageSink& shown) {
  if (disks_.IsBusy(drive.driveNumber))
    return DiskRead::kBusy;  // being erased: nothing else talks to it
  std::string message;
  std::optional<DiskSequenceLocks::Hold> hold = Hold(drive.driveNumber, &message);
  if (!hold) {
    Both(shown)(message);
    return DiskRead::kBusy;
  }
  if (wake == WakeDisk::kNo && IsRotatingDisk(drive.identifyWords)) {
    AtaOpenMode mode;
    mode.readWrite = false;
    std::unique_ptr<AtaDevice> device = disks_.Open(drive.driveNumber, mode, &message);
    if (device != nullptr && CheckPowerMode(*device) == PowerState::kStandby)
      return DiskRead::kAsleep;
  }
  ReadDriveContext context;
  context.opener = &disks_;
  context.attributeTable = &table;
  context.selectedModel = drive.model;
  context.identifyWords = drive.identifyWords;
  context.baseBoardProduct = baseBoardProduct_;
  context.showMessage = Both(shown);
  return ds::ReadDrive(context, drive.driveNumber, snapshot) ? DiskRead::kRead : DiskRead::kUnread;
}

std::uint32_t MachineDriveService::ReadVendorFigure(const VendorReadTarget& target,
                                                    std::string* message) {
  if (!VendorReadAllowed(target) || disks_.IsBusy(target.driveNumber))
    return 0;
  // The key sequence ends with a write: nothing else may reach the disk in between.
  std::optional<DiskSequenceLocks::Hold> hold = Hold(target.driveNumber, message);
  if (!hold)
    return 0;
  return ds::ReadVendorFigure(disks_, target, message);
}

bool MachineDriveService::CaptureEraseTarget(const DriveRecord& record, EraseTarget* target,
                                             std::string* message) {
  return ds::CaptureEraseTarget(disks_, record, target, message);
}

std::string MachineDriveService::EraseRefusal(int driveNumber) {
  return ds::EraseRefusal(disks_, driveNumber);
}

EraseOutcome MachineDriveService::Erase(const EraseTarget& target, const EraseCallbacks& callbacks,
                                        std::stop_token stop) {
  std::string message;
  std::optional<DiskSequenceLocks::Hold> hold = Hold(target.driveNumber, &message);
  if (!hold)
    return {EraseResult::kRefused, "", "Nothing was erased: " + message};
  return RunSecureErase(disks_, target, callbacks, stop);
}

SelfTestOutcome MachineDriveService::SelfTest(int driveNumber, const std::string& serial,
                                              SelfTestKind kind) {
  // Its checks and the command are one sequence: nothing may start between them.
  std::string message;
  std::optional<DiskSequenceLocks::Hold> hold = Hold(driveNumber, &message);
  if (!hold)
    return {SelfTestResult::kRefused, 0, "Nothing was sent: " + message};
  return RunSelfTest(disks_, driveNumber, serial, kind);
}

}  // namespace ds
