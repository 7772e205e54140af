#include "platform/sim/simulated_machine.h"

#include <algorithm>
#include <filesystem>

#include "platform/file_system.h"
#include "platform/identify_words.h"
#include "platform/storage_bus.h"
#include "text/ini_file_reader.h"
#include "text/leading_integer.h"

namespace ds {

namespace fs = std::filesystem;

namespace {

std::uint64_t ParseUnsigned(const std::string& text, std::uint64_t fallback) {
  if (text.empty())
    return fallback;
  std::int64_t value = LeadingInteger64(text);
  return value < 0 ? fallback : static_cast<std::uint64_t>(value);
}

// A 16-bit id in hexadecimal, with or without "0x"; 0 when it is not one.
std::uint32_t ParseId(std::string text) {
  if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0)
    text.erase(0, 2);
  if (text.empty() || text.size() > 4)
    return 0;
  std::uint32_t value = 0;
  for (char c : text) {
    int digit = (c >= '0' && c <= '9')   ? c - '0'
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                         : -1;
    if (digit < 0)
      return 0;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;
}

// The non-blank entries of a comma-separated list.
std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> entries;
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t comma = text.find(',', from);
    if (comma == std::string::npos)
      comma = text.size();
    std::string entry = text.substr(from, comma - from);
    entry.erase(0, entry.find_first_not_of(" \t"));
    entry.erase(entry.find_last_not_of(" \t") + 1);
    if (!entry.empty())
      entries.push_back(entry);
    from = comma + 1;
  }
  return entries;
}

std::vector<DiskUse> DeclaredUses(const IniFileReader& description) {
  std::vector<DiskUse> uses;
  for (const std::string& name : SplitList(description.lookup("partitions")))
    uses.push_back({DiskUse::Kind::kPartition, "partition " + name});
  for (const std::string& type : SplitList(description.lookup("signatures")))
    uses.push_back({DiskUse::Kind::kSignature, type + " signature"});
  for (const std::string& holder : SplitList(description.lookup("holders")))
    uses.push_back({DiskUse::Kind::kHolder, "used by " + holder});
  if (description.lookup("opened_elsewhere") == "1")
    uses.push_back({DiskUse::Kind::kOpenElsewhere, "another process has the disk open"});
  return uses;
}

IdentifyWords ReadIdentify(const std::string& path) {
  std::string content;
  std::string ignored;
  std::array<std::uint8_t, 512> bytes{};
  if (ReadWholeFile(path, 512, &content, &ignored) && content.size() == 512) {
    std::copy(content.begin(), content.end(), bytes.begin());
  }
  return IdentifyWordsFromBytes(bytes);
}

}  // namespace

std::unique_ptr<SimulatedMachine> SimulatedMachine::Load(const std::string& folder,
                                                         std::string* message) {
  std::error_code error;
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (it->is_directory())
      names.push_back(it->path().filename().string());
  }
  if (error) {
    if (message)
      *message = "cannot list the simulated machine " + folder + ": " + error.message();
    return nullptr;
  }
  std::sort(names.begin(), names.end());
  const int unnumbered = std::max(0, static_cast<int>(names.size()) - kMaxPhysicalDrives);
  if (names.size() > static_cast<std::size_t>(kMaxPhysicalDrives))
    names.resize(kMaxPhysicalDrives);

  std::unique_ptr<SimulatedMachine> machine(new SimulatedMachine());
  machine->unnumberedDisks_ = unnumbered;
  for (std::size_t n = 0; n < names.size(); ++n) {
    std::string driveFolder = (fs::path(folder) / names[n]).string() + "/";
    IniFileReader description = ReadKeyValueFile(driveFolder + "description.dat");
    Drive drive;
    drive.folderName = names[n];
    drive.present = description.lookup("present") != "0";

    std::string model, firmware, serial;
    if (FileExists(driveFolder + "identify.bin")) {
      drive.disk = SimulatedDisk::Load(driveFolder, message);
      if (!drive.disk)
        return nullptr;
      IdentifyWords words = ReadIdentify(driveFolder + "identify.bin");
      model = IdentifyText(words, kIdentifyModelWord, kIdentifyModelWords, false);
      firmware = IdentifyText(words, kIdentifyFirmwareWord, kIdentifyFirmwareWords, true);
      serial = IdentifyText(words, kIdentifySerialWord, kIdentifySerialWords, true);
    }

    StorageDescriptorFacts& d = drive.descriptor;
    std::string busType = description.lookup("bus_type");
    d.rawBusType = busType.empty() ? kBusTypeSata : LeadingInteger(busType);
    std::string vendor = description.lookup("vendor");
    d.vendor = vendor.empty() && drive.disk ? "ATA" : vendor;
    d.product = description.lookup("product");
    if (d.product.empty())
      d.product = model.substr(0, 16);
    d.revision = description.lookup("revision");
    if (d.revision.empty())
      d.revision = firmware;
    d.serial = description.lookup("descriptor_serial");
    if (d.serial.empty())
      d.serial = serial;
    std::uint64_t sectors = drive.disk ? drive.disk->capacity() : 0;
    d.sizeBytes = ParseUnsigned(description.lookup("size_bytes"), sectors * 512);
    drive.removable = description.lookup("removable") == "1";

    drive.usbSerial = description.lookup("usb_serial");
    drive.usb.serial = drive.usbSerial;
    drive.usb.lowSpeed = description.lookup("usb_speed") == "1.5";
    drive.usb.vendorId = ParseId(description.lookup("usb_vendor_id"));
    drive.usb.productId = ParseId(description.lookup("usb_product_id"));
    drive.usbSpeed = description.lookup("usb_speed");
    const std::string bridge = description.lookup("usb_bridge");
    const std::pair<const char*, SimulatedBridgeKind> kinds[] = {
        {"sat16", SimulatedBridgeKind::kPasses16},
        {"sat12", SimulatedBridgeKind::kNeeds12},
        {"none", SimulatedBridgeKind::kRejects},
        {"timeout", SimulatedBridgeKind::kTimesOut}};
    auto kind = std::find_if(std::begin(kinds), std::end(kinds),
                             [&bridge](const auto& k) { return bridge == k.first; });
    if (!bridge.empty() && kind == std::end(kinds)) {
      *message = driveFolder + "description.dat: usb_bridge must be sat16, sat12, none or timeout";
      return nullptr;
    }
    if (kind != std::end(kinds))
      drive.bridgeKind = kind->second;
    drive.bridgeRejectsLogs = description.lookup("usb_bridge_rejects_logs") == "1";
    const std::string scsiType = description.lookup("scsi_type");
    drive.scsiType = scsiType.empty() ? 0 : LeadingInteger(scsiType);

    int volumeCount = std::clamp(LeadingInteger(description.lookup("volume_count")), 0, 26);
    for (int i = 1; i <= volumeCount; ++i) {
      std::string key = "volume_" + std::to_string(i) + "_";
      VolumeFacts volume;
      volume.driveNumber = static_cast<int>(n);
      volume.mountPoint = description.lookup(key + "mount");
      if (volume.mountPoint.empty())
        continue;
      volume.infoReadable = description.lookup(key + "unreadable") != "1";
      volume.label = description.lookup(key + "label");
      volume.fileSystem = description.lookup(key + "fs");
      volume.removable = drive.removable;
      volume.freeBytes = ParseUnsigned(description.lookup(key + "free"), 0);
      volume.totalBytes = ParseUnsigned(description.lookup(key + "total"), 0);
      drive.volumes.push_back(volume);
    }
    drive.declaredUses = DeclaredUses(description);
    machine->drives_.push_back(std::move(drive));
  }
  return machine;
}

const SimulatedMachine::Drive* SimulatedMachine::PresentDrive(int driveNumber) const {
  if (driveNumber < 0 || static_cast<std::size_t>(driveNumber) >= drives_.size())
    return nullptr;
  std::lock_guard<std::mutex> guard(mutex_);
  const Drive& drive = drives_[static_cast<std::size_t>(driveNumber)];
  return drive.present ? &drive : nullptr;
}

void SimulatedMachine::SetPresent(int driveNumber, bool present) {
  if (driveNumber < 0 || static_cast<std::size_t>(driveNumber) >= drives_.size())
    return;
  std::lock_guard<std::mutex> guard(mutex_);
  Drive& drive = drives_[static_cast<std::size_t>(driveNumber)];
  if (present && !drive.present)
    ++drive.plugCount;
  drive.present = present;
}

std::optional<UsbDiskFacts> SimulatedMachine::UsbDiskOf(int driveNumber) {
  const Drive* drive = PresentDrive(driveNumber);
  if (!drive || drive->descriptor.rawBusType != kBusTypeUsb)
    return std::nullopt;
  UsbDiskFacts facts;
  facts.vendorId = drive->usb.vendorId;
  facts.productId = drive->usb.productId;
  facts.speed = drive->usbSpeed.empty() ? "480" : drive->usbSpeed;
  facts.scsiType = drive->scsiType;
  facts.directAccess = drive->scsiType == 0;
  std::lock_guard<std::mutex> guard(mutex_);
  facts.appearance = drive->folderName + "#" + std::to_string(drive->plugCount);
  return facts;
}

int SimulatedMachine::BridgeBlocksSent(int driveNumber) {
  const std::optional<UsbDiskFacts> usb = UsbDiskOf(driveNumber);
  return usb ? bridges_.BridgeFor(*usb)->sentCount() : 0;
}

std::shared_ptr<SimulatedDisk> SimulatedMachine::disk(int driveNumber) const {
  if (driveNumber < 0 || static_cast<std::size_t>(driveNumber) >= drives_.size())
    return nullptr;
  return drives_[static_cast<std::size_t>(driveNumber)].disk;
}

std::string SimulatedMachine::driveFolderName(int driveNumber) const {
  if (driveNumber < 0 || static_cast<std::size_t>(driveNumber) >= drives_.size())
    return {};
  return drives_[static_cast<std::size_t>(driveNumber)].folderName;
}

std::vector<VolumeFacts> SimulatedMachine::ListVolumes() {
  std::vector<VolumeFacts> volumes;
  for (std::size_t n = 0; n < drives_.size(); ++n) {
    const Drive* drive = PresentDrive(static_cast<int>(n));
    if (drive)
      volumes.insert(volumes.end(), drive->volumes.begin(), drive->volumes.end());
  }
  return volumes;
}

bool SimulatedMachine::ListStorageInterfaces(std::vector<StorageInterfaceFacts>* interfaces,
                                             std::string* /*message*/) {
  interfaces->clear();
  for (std::size_t n = 0; n < drives_.size(); ++n) {
    const Drive* drive = PresentDrive(static_cast<int>(n));
    if (!drive)
      continue;
    StorageInterfaceFacts facts;
    facts.driveNumber = static_cast<int>(n);
    if (drive->descriptor.rawBusType == kBusTypeUsb) {
      facts.enumerator = "usbstor";
      facts.instanceId = drive->usbSerial + "&0";
    } else {
      facts.enumerator = drive->descriptor.rawBusType == kBusTypeNvme ? "nvme" : "ide";
      facts.instanceId = drive->folderName;
    }
    interfaces->push_back(facts);
  }
  return true;
}

std::vector<UsbDeviceFacts> SimulatedMachine::ListUsbDevices() {
  std::vector<UsbDeviceFacts> devices;
  for (std::size_t n = 0; n < drives_.size(); ++n) {
    const Drive* drive = PresentDrive(static_cast<int>(n));
    if (drive && drive->descriptor.rawBusType == kBusTypeUsb)
      devices.push_back(drive->usb);
  }
  return devices;
}

bool SimulatedMachine::QueryStorageDescriptor(int driveNumber, StorageDescriptorFacts* facts) {
  const Drive* drive = PresentDrive(driveNumber);
  if (!drive)
    return false;
  *facts = drive->descriptor;
  return true;
}

std::unique_ptr<AtaDevice> SimulatedMachine::Open(int driveNumber, const AtaOpenMode& mode,
                                                  std::string* message) {
  std::string ignored;
  if (!message)
    message = &ignored;
  const Drive* drive = PresentDrive(driveNumber);
  if (!drive) {
    *message = "no physical drive " + std::to_string(driveNumber);
    return nullptr;
  }
  if (!drive->disk) {
    *message = drive->folderName + " takes no ATA commands";
    return nullptr;
  }
  if (!mode.eraserAccess && IsBusy(driveNumber)) {
    *message = BusyMessage(driveNumber);
    return nullptr;
  }
  std::unique_ptr<AtaDevice> handle = drive->disk->OpenHandle(message, mode.exclusive);
  const std::optional<UsbDiskFacts> usb = UsbDiskOf(driveNumber);
  if (!handle || !usb)
    return handle;
  return std::make_unique<SimulatedBridgedDevice>(std::move(handle), bridges_.BridgeFor(*usb),
                                                  drive->bridgeKind, drive->bridgeRejectsLogs);
}

std::string SimulatedMachine::DiskKey(int driveNumber) {
  const Drive* drive = PresentDrive(driveNumber);
  return drive ? drive->folderName : std::string();
}

std::vector<DiskUse> SimulatedMachine::FindDiskUses(int driveNumber) {
  const Drive* drive = PresentDrive(driveNumber);
  if (!drive)
    return {{DiskUse::Kind::kNotChecked, "no physical drive " + std::to_string(driveNumber)}};
  std::vector<DiskUse> uses = drive->declaredUses;
  for (const VolumeFacts& volume : drive->volumes) {
    uses.push_back(
        {DiskUse::Kind::kMount, volume.fileSystem + " volume mounted on " + volume.mountPoint});
  }
  if (drive->disk) {
    std::string message;
    if (!drive->disk->OpenHandle(&message, /*exclusive=*/true))
      uses.push_back({DiskUse::Kind::kNotExclusive, message});
  }
  return uses;
}

}  // namespace ds
