#include "drive/drive_enumerator.h"

#include <algorithm>
#include <cctype>
#include <span>
#include <string>

#include "drive/descriptor_text.h"
#include "drive/identify_decoder.h"
#include "text/text_helpers.h"

namespace ds {

namespace {

// IDENTIFY through a bridge not yet known to answer: a hung bridge costs no more than this.
constexpr int kUsbProbeTimeoutMs = 5000;

bool ValidDriveNumber(int n) {
  return n >= 0 && n < kMaxPhysicalDrives;
}

// Bus types 1-17 as reported, the reserved maximum 127 as 18, anything else 0.
std::uint8_t MapBusType(int raw) {
  if (raw >= 1 && raw <= 17)
    return static_cast<std::uint8_t>(raw);
  if (raw == 127)
    return kBusTypeMaxReserved;
  return kBusTypeUnknown;
}

TaskFile IdentifyRegisters(int driveNumber, std::uint8_t command = kAtaIdentifyDevice) {
  TaskFile registers;
  registers.sectorCount = 1;
  registers.sectorNumber = 1;
  registers.deviceHead = DeviceHeadForDrive(driveNumber);
  registers.command = command;
  return registers;
}

bool CommandSucceeded(const AtaResult& result) {
  return result.transportOk && (result.registers.status() & (kAtaStatusErr | kAtaStatusDf)) == 0;
}

}  // namespace

DriveEnumerator::DriveEnumerator(DiskSystem& disks, MessageSink messages, AtaDeviceOpener* commands)
    : disks_(disks), commands_(commands ? *commands : disks), messages_(std::move(messages)) {
  Clear();
}

int DriveEnumerator::GetPhysicalDriveNumber(int i) const {
  if (i < 0 || i >= GetPhysicalDriveCount())
    return -1;
  return physicalDriveList_[static_cast<std::size_t>(i)];
}

void DriveEnumerator::Clear() {
  for (DriveRecord& slot : slots_)
    slot = DriveRecord{};
  isUsbStorage_.fill(false);
  bridgeAnswered_.fill(false);
  bridgeProblems_.fill({});
  physicalDriveList_.clear();
  volumes_.clear();
  volumeCount_ = 0;
  identifyCount_ = 0;
}

void DriveEnumerator::Enumerate() {
  Clear();
  disks_.Rescan();
  ReadVolumes();
  ReadStorageInterfaces();
  ReadRemovableVolumes();
  ReadUsbDevices();
  ReadPhysicalDrives();
}

void DriveEnumerator::ReadVolumes() {
  volumes_ = disks_.ListVolumes();
  for (const VolumeFacts& volume : volumes_) {
    if (!ValidDriveNumber(volume.driveNumber))
      continue;
    DriveRecord& slot = slots_[static_cast<std::size_t>(volume.driveNumber)];
    if (volume.infoReadable) {
      AppendDriveText(slot.volumeLabels, volume.label);
      AppendDriveText(slot.fileSystems, volume.fileSystem);
    }
    AppendDriveText(slot.driveLetters, volume.mountPoint);
    ++volumeCount_;
  }
}

void DriveEnumerator::ReadStorageInterfaces() {
  std::vector<StorageInterfaceFacts> interfaces;
  std::string ignored;
  if (!disks_.ListStorageInterfaces(&interfaces, &ignored)) {
    if (messages_)
      messages_("SetupDiGetClassDevs Failed.");
    return;
  }
  for (const StorageInterfaceFacts& facts : interfaces) {
    if (!ValidDriveNumber(facts.driveNumber))
      continue;
    if (!EqualsIgnoringCase(facts.enumerator, "usbstor"))
      continue;
    isUsbStorage_[static_cast<std::size_t>(facts.driveNumber)] = true;
    std::string serial = facts.instanceId.substr(0, facts.instanceId.find('&'));
    SetDriveText(slots_[static_cast<std::size_t>(facts.driveNumber)].serial, TrimSpaces(serial));
  }
}

void DriveEnumerator::ReadRemovableVolumes() {
  for (const VolumeFacts& volume : volumes_) {
    if (!volume.removable || !ValidDriveNumber(volume.driveNumber))
      continue;
    StorageDescriptorFacts facts;
    if (!disks_.QueryStorageDescriptor(volume.driveNumber, &facts))
      continue;
    std::string vendor = DescriptorText(facts.vendor);
    std::string product = DescriptorText(facts.product);
    std::string revision = DescriptorText(facts.revision);
    for (DriveRecord& slot : slots_) {
      if (slot.driveLetters != volume.mountPoint)
        continue;
      SetDriveText(slot.model, vendor + " " + product);
      SetDriveText(slot.usbVendor, vendor);
      SetDriveText(slot.usbRevision, revision);
      break;
    }
  }
}

void DriveEnumerator::ReadUsbDevices() {
  for (const UsbDeviceFacts& device : disks_.ListUsbDevices()) {
    if (device.serial.empty())
      continue;
    std::string serial = UpperCase(device.serial);
    for (int n = kMaxPhysicalDrives - 1; n >= 0; --n) {
      auto i = static_cast<std::size_t>(n);
      if (!isUsbStorage_[i] || UpperCase(slots_[i].serial) != serial)
        continue;
      SetDriveText(slots_[i].usbSpeed, device.lowSpeed ? "Low speed" : "High speed");
      slots_[i].usbVendorId = device.vendorId;
      slots_[i].usbProductId = device.productId;
      break;
    }
  }
}

bool DriveEnumerator::IdentifyThroughSmartDriver(int driveNumber) {
  std::string message;
  std::unique_ptr<AtaDevice> device = commands_.Open(driveNumber, AtaOpenMode{}, &message);
  if (!device)
    return false;
  std::array<std::uint8_t, 512> sector{};
  AtaResult result = device->SmartDriverCommand(IdentifyRegisters(driveNumber), sector);
  if (!CommandSucceeded(result)) {
    // A device that takes itself for a packet device aborts IDENTIFY DEVICE and answers
    // IDENTIFY PACKET DEVICE instead (the driver's device map would have chosen that).
    sector.fill(0);
    result = device->SmartDriverCommand(IdentifyRegisters(driveNumber, kAtaIdentifyPacketDevice),
                                        sector);
    if (!CommandSucceeded(result))
      return false;
  }
  IdentifyWords words = IdentifyWordsFromBytes(sector);
  DriveRecord& slot = slots_[static_cast<std::size_t>(driveNumber)];
  DecodeIdentify(words, &slot);
  slot.driveNumber = driveNumber;
  if (words[27] != 0)
    ++identifyCount_;
  return true;
}

bool DriveEnumerator::IdentifyThroughPassThrough(int driveNumber) {
  std::string message;
  std::unique_ptr<AtaDevice> device = commands_.Open(driveNumber, AtaOpenMode{}, &message);
  if (!device)
    return false;
  std::array<std::uint8_t, 512> sector{};
  AtaCommand command;
  command.registers = IdentifyRegisters(driveNumber);
  command.protocol = AtaProtocol::kPioDataIn;
  command.data = sector;
  AtaResult result = device->Execute(command);
  if (!CommandSucceeded(result) || result.transferred < sector.size())
    return false;
  IdentifyWords words = IdentifyWordsFromBytes(sector);
  if (words[27] == 0)
    return false;
  DriveRecord& slot = slots_[static_cast<std::size_t>(driveNumber)];
  DecodeIdentify(words, &slot);
  slot.driveNumber = driveNumber;
  ++identifyCount_;
  return true;
}

void DriveEnumerator::IdentifyThroughBridge(int driveNumber, const UsbDiskFacts& usb) {
  const std::string unreachable =
      "S.M.A.R.T. is not reachable through this USB bridge (" + UsbIdText(usb) + ")";
  std::string message;
  std::unique_ptr<AtaDevice> device = disks_.Open(driveNumber, AtaOpenMode{}, &message);
  if (!device) {
    bridgeProblems_[static_cast<std::size_t>(driveNumber)] = unreachable + ": " + message;
    return;
  }
  std::array<std::uint8_t, 512> sector{};
  AtaCommand command;
  command.registers = IdentifyRegisters(driveNumber);
  command.protocol = AtaProtocol::kPioDataIn;
  command.data = sector;
  command.timeoutMs = kUsbProbeTimeoutMs;
  const AtaResult result = device->Execute(command);
  const IdentifyWords words = IdentifyWordsFromBytes(sector);
  if (!CommandSucceeded(result) || result.transferred < sector.size() || words[27] == 0) {
    bridgeProblems_[static_cast<std::size_t>(driveNumber)] =
        unreachable + ": " +
        (result.transportOk ? "the disk did not answer IDENTIFY DEVICE" : result.osErrorText);
    return;
  }
  // The card's or disk's own identity, not the reader's.
  DriveRecord& slot = slots_[static_cast<std::size_t>(driveNumber)];
  slot.model.clear();
  slot.serial.clear();
  slot.firmware.clear();
  DecodeIdentify(words, &slot);
  slot.driveNumber = driveNumber;
  bridgeAnswered_[static_cast<std::size_t>(driveNumber)] = true;
  ++identifyCount_;
}

void DriveEnumerator::ReadStorageDescriptor(int driveNumber) {
  StorageDescriptorFacts facts;
  if (!disks_.QueryStorageDescriptor(driveNumber, &facts))
    return;
  physicalDriveList_.push_back(driveNumber);
  DriveRecord& slot = slots_[static_cast<std::size_t>(driveNumber)];
  slot.driveNumber = driveNumber;
  slot.busType = MapBusType(facts.rawBusType);
  std::string vendor = DescriptorText(facts.vendor);
  std::string product = DescriptorText(facts.product);
  if (slot.busType == kBusTypeUsb) {
    if (!bridgeAnswered_[static_cast<std::size_t>(driveNumber)]) {
      slot.sectorCount = facts.sizeBytes / 512;
      SetDriveText(slot.model, TrimSpaces(vendor + " " + product));
    }
    SetDriveText(slot.usbVendor, vendor);
    SetDriveText(slot.usbRevision, DescriptorText(facts.revision));
    if (const std::optional<UsbDiskFacts> usb = disks_.UsbDiskOf(driveNumber)) {
      slot.usbVendorId = usb->vendorId;
      slot.usbProductId = usb->productId;
      SetDriveText(slot.usbSpeed, UsbSpeedName(usb->speed));
    }
  } else if (slot.busType == kBusTypeNvme) {
    SetDriveText(slot.firmware, DescriptorText(facts.revision));
    SetDriveText(slot.model, vendor + " " + product);
    SetDriveText(slot.serial, DescriptorText(facts.serial));
    slot.sectorCount = facts.sizeBytes / 512;
  }
}

void DriveEnumerator::ReadPhysicalDrives() {
  // A disk being erased takes no command from anyone else.
  // A disk behind a USB bridge has no SMART driver path: its bridge is asked instead.
  std::array<bool, kMaxPhysicalDrives> behindUsb{};
  for (int n = 0; n < kMaxPhysicalDrives; ++n) {
    const std::optional<UsbDiskFacts> usb = disks_.UsbDiskOf(n);
    behindUsb[static_cast<std::size_t>(n)] = usb.has_value();
    if (usb && !disks_.IsBusy(n))
      IdentifyThroughBridge(n, *usb);
  }
  bool anyAnswered = false;
  for (int n = 0; n < kMaxPhysicalDrives; ++n) {
    if (!behindUsb[static_cast<std::size_t>(n)] && !disks_.IsBusy(n) &&
        IdentifyThroughSmartDriver(n))
      anyAnswered = true;
  }
  if (!anyAnswered) {
    for (int n = 0; n < kMaxPhysicalDrives; ++n) {
      if (!behindUsb[static_cast<std::size_t>(n)] && !disks_.IsBusy(n))
        IdentifyThroughPassThrough(n);
    }
  }
  for (int n = 0; n < kMaxPhysicalDrives; ++n)
    ReadStorageDescriptor(n);
}

DriveList RefreshDriveList(DiskSystem& disks, const MessageSink& messages,
                           AtaDeviceOpener* commands) {
  DriveEnumerator enumerator(disks, messages, commands);
  enumerator.Enumerate();
  if (disks.unnumberedDisks() > 0 && messages) {
    messages("the machine has " + std::to_string(disks.unnumberedDisks()) +
             " more disk(s) than the 26 this program numbers; they are not shown");
  }
  DriveList list;
  list.enumeratedCount = enumerator.GetPhysicalDriveCount();
  for (int i = 0; i < enumerator.GetPhysicalDriveCount(); ++i) {
    int n = enumerator.GetPhysicalDriveNumber(i);
    const DriveRecord& record = enumerator.slot(n);
    if (!enumerator.bridgeProblem(n).empty()) {
      list.unreachableUsbDisks.push_back({n, record.model, enumerator.bridgeProblem(n)});
      continue;
    }
    if (record.busType != kBusTypeAta && record.busType != kBusTypeSata &&
        !enumerator.answeredThroughBridge(n))
      continue;
    list.driveIndexMap.push_back(n);
    list.drives.push_back(record);
  }
  list.driveCount = static_cast<int>(list.drives.size());
  return list;
}

}  // namespace ds
