#include "platform/linux/linux_disk_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "platform/linux/block_signatures.h"
#include "platform/linux/linux_ata_device.h"
#include "platform/storage_bus.h"

namespace ds {

namespace fs = std::filesystem;

namespace {

// sysfs attributes are small; anything bigger is not what we are looking for.
constexpr std::size_t kMaxAttributeBytes = 4096;

std::optional<std::string> ReadRaw(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return std::nullopt;
  std::string content(kMaxAttributeBytes, '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  if (in.bad())
    return std::nullopt;
  content.resize(static_cast<std::size_t>(in.gcount()));
  return content;
}

// A sysfs text attribute without its trailing newline and blanks; "" when unreadable.
std::string ReadAttribute(const std::string& path) {
  std::optional<std::string> raw = ReadRaw(path);
  if (!raw)
    return {};
  std::string text = *raw;
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.pop_back();
  return text;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

bool AllDigits(const std::string& text, std::size_t from) {
  if (from >= text.size())
    return false;
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

bool AllLowerLetters(const std::string& text, std::size_t from) {
  if (from >= text.size())
    return false;
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                     [](char c) { return c >= 'a' && c <= 'z'; });
}

// Whole disks the program looks at: sd*, hd*, vd*, nvme<c>n<n>, mmcblk<n>.
bool IsWholeDiskName(const std::string& name) {
  if (StartsWith(name, "sd") || StartsWith(name, "hd") || StartsWith(name, "vd")) {
    return AllLowerLetters(name, 2);
  }
  if (StartsWith(name, "mmcblk"))
    return AllDigits(name, 6);
  if (StartsWith(name, "nvme")) {
    std::size_t n = name.find('n', 4);
    if (n == std::string::npos)
      return false;
    return AllDigits(name.substr(0, n), 4) && AllDigits(name, n + 1);
  }
  return false;
}

// The folder a sysfs symbolic link points to, as a path under the same root.
std::string ResolveLink(const std::string& link) {
  std::error_code error;
  fs::path target = fs::read_symlink(link, error);
  if (error)
    return link;
  if (target.is_absolute())
    return target.lexically_normal().string();
  return (fs::path(link).parent_path() / target).lexically_normal().string();
}

bool HasComponentStartingWith(const std::string& path, const char* prefix, std::size_t* at) {
  std::string needle = std::string("/") + prefix;
  std::size_t pos = 0;
  while ((pos = path.find(needle, pos)) != std::string::npos) {
    std::size_t start = pos + needle.size();
    std::size_t end = path.find('/', start);
    std::string rest =
        path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (AllDigits(rest, 0)) {
      if (at)
        *at = pos;
      return true;
    }
    pos = start;
  }
  return false;
}

std::uint32_t ParseHex(const std::string& text) {
  std::uint32_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    value = value * 16 + static_cast<std::uint32_t>(digit);
    if (value > 0xFFFFu)
      return 0;  // ids are 16-bit; anything else is not an id
  }
  return value;
}

// The unit serial number of VPD page 80h: a 4-byte header, then the serial (length in
// byte 3).
std::string SerialFromVpd80(const std::string& page) {
  if (page.size() < 4 || static_cast<unsigned char>(page[1]) != 0x80)
    return {};
  std::size_t length = static_cast<unsigned char>(page[3]);
  return page.substr(4, std::min(length, page.size() - 4));
}

std::string FolderOf(const std::string& path) {
  return fs::path(path).parent_path().string();
}

// What a path opens: a block device by its device number, anything else (an image file
// in tests) by file system and inode.
struct OpenedThing {
  bool block = false;
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const OpenedThing&) const = default;
};

std::optional<OpenedThing> ThingAt(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    return std::nullopt;
  if (S_ISBLK(info.st_mode))
    return OpenedThing{true, info.st_rdev, 0};
  return OpenedThing{false, info.st_dev, info.st_ino};
}

// The entries of a folder, sorted; none when it cannot be listed.
std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::string DecodeEscapes(const std::string& text) {
  auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
  auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size()) {
      char a = text[i + 1], b = text[i + 2], c = text[i + 3];
      if (a == 'x' && isHex(b) && isHex(c)) {
        out += static_cast<char>(ParseHex(text.substr(i + 2, 2)));
        i += 3;
        continue;
      }
      if (a >= '0' && a <= '3' && isOctal(b) && isOctal(c)) {
        out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
        i += 3;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

bool ParseMountInfoLine(const std::string& line, MountInfoEntry* entry) {
  std::istringstream fields(line);
  std::vector<std::string> parts;
  std::string part;
  while (fields >> part)
    parts.push_back(part);
  auto separator = std::find(parts.begin(), parts.end(), "-");
  if (parts.size() < 7 || separator == parts.end() || separator - parts.begin() < 6 ||
      separator + 1 == parts.end()) {
    return false;
  }
  entry->deviceNumber = parts[2];
  entry->mountPoint = DecodeEscapes(parts[4]);
  entry->fileSystem = *(separator + 1);
  return entry->deviceNumber.find(':') != std::string::npos;
}

LinuxDiskSystem::LinuxDiskSystem(std::string root) : root_(std::move(root)) {
  if (root_.empty() || root_.back() != '/')
    root_ += '/';
}

void LinuxDiskSystem::Rescan() {
  auto disks = std::make_shared<std::vector<Disk>>();
  std::error_code error;
  std::vector<std::string> names;
  for (fs::directory_iterator it(root_ + "sys/block", error), end; !error && it != end;
       it.increment(error)) {
    std::string name = it->path().filename().string();
    if (IsWholeDiskName(name))
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  unnumberedDisks_ = std::max(0, static_cast<int>(names.size()) - kMaxPhysicalDrives);
  if (names.size() > static_cast<std::size_t>(kMaxPhysicalDrives))
    names.resize(kMaxPhysicalDrives);
  for (const std::string& name : names) {
    disks->push_back({name, ResolveLink(root_ + "sys/block/" + name)});
  }
  std::lock_guard<std::mutex> lock(mutex_);
  disks_ = std::move(disks);
}

std::shared_ptr<const std::vector<LinuxDiskSystem::Disk>> LinuxDiskSystem::Disks() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (disks_)
      return disks_;
  }
  Rescan();
  std::lock_guard<std::mutex> lock(mutex_);
  return disks_;
}

std::vector<std::string> LinuxDiskSystem::DiskNames() {
  std::vector<std::string> names;
  for (const Disk& disk : *Disks())
    names.push_back(disk.name);
  return names;
}

std::optional<LinuxDiskSystem::Disk> LinuxDiskSystem::DiskAt(int driveNumber) {
  const auto disks = Disks();
  if (driveNumber < 0 || static_cast<std::size_t>(driveNumber) >= disks->size())
    return std::nullopt;
  return (*disks)[static_cast<std::size_t>(driveNumber)];
}

int LinuxDiskSystem::BusTypeOf(const Disk& disk) const {
  const std::string& path = disk.devicePath;
  if (HasComponentStartingWith(path, "usb", nullptr))
    return kBusTypeUsb;
  if (StartsWith(disk.name, "nvme") || path.find("/nvme/") != std::string::npos) {
    return kBusTypeNvme;
  }
  std::size_t ataAt = 0;
  if (HasComponentStartingWith(path, "ata", &ataAt)) {
    if (StartsWith(disk.name, "hd"))
      return kBusTypeAta;
    // .../ataN/hostM/...: the SCSI host's driver tells parallel from serial ATA.
    std::size_t hostAt = path.find("/host", ataAt + 1);
    if (hostAt != std::string::npos) {
      std::size_t end = path.find('/', hostAt + 1);
      std::string hostFolder = path.substr(0, end);
      std::string host = hostFolder.substr(hostAt + 1);
      std::string driver = ReadAttribute(hostFolder + "/scsi_host/" + host + "/proc_name");
      if (StartsWith(driver, "pata_"))
        return kBusTypeAta;
    }
    return kBusTypeSata;
  }
  if (StartsWith(disk.name, "hd"))
    return kBusTypeAta;
  if (StartsWith(disk.name, "mmcblk"))
    return kBusTypeSd;
  if (path.find("/virtio") != std::string::npos)
    return kBusTypeVirtual;
  return kBusTypeScsi;
}

std::string LinuxDiskSystem::UsbDeviceFolderOf(const Disk& disk) const {
  // Walk up from the block device to the first folder that is a USB device.
  std::string folder = disk.devicePath;
  while (folder.size() > root_.size()) {
    if (fs::exists(folder + "/idVendor"))
      return folder;
    folder = FolderOf(folder);
  }
  return {};
}

std::vector<VolumeFacts> LinuxDiskSystem::ListVolumes() {
  const auto disks = Disks();
  struct Owner {
    int driveNumber;
    std::string kernelName;
    bool removable;
  };
  std::map<std::string, Owner> ownerByDeviceNumber;
  for (std::size_t n = 0; n < disks->size(); ++n) {
    const Disk& disk = (*disks)[n];
    bool removable = ReadAttribute(disk.devicePath + "/removable") == "1";
    int number = static_cast<int>(n);
    std::string dev = ReadAttribute(disk.devicePath + "/dev");
    if (!dev.empty())
      ownerByDeviceNumber[dev] = {number, disk.name, removable};
    std::error_code error;
    for (fs::directory_iterator it(disk.devicePath, error), end; !error && it != end;
         it.increment(error)) {
      std::string child = it->path().string();
      if (!fs::exists(child + "/partition"))
        continue;
      std::string partDev = ReadAttribute(child + "/dev");
      if (!partDev.empty()) {
        ownerByDeviceNumber[partDev] = {number, it->path().filename().string(), removable};
      }
    }
  }

  std::map<std::string, std::string> labelByKernelName;
  std::error_code error;
  for (fs::directory_iterator it(root_ + "dev/disk/by-label", error), end; !error && it != end;
       it.increment(error)) {
    std::error_code linkError;
    fs::path target = fs::read_symlink(it->path(), linkError);
    if (linkError)
      continue;
    labelByKernelName[target.filename().string()] = DecodeEscapes(it->path().filename().string());
  }

  std::vector<VolumeFacts> volumes;
  std::vector<std::string> seen;
  std::ifstream mountInfo(root_ + "proc/self/mountinfo");
  std::string line;
  while (std::getline(mountInfo, line)) {
    MountInfoEntry entry;
    if (!ParseMountInfoLine(line, &entry))
      continue;
    auto owner = ownerByDeviceNumber.find(entry.deviceNumber);
    if (owner == ownerByDeviceNumber.end())
      continue;
    // A file system mounted in several places (bind mounts, subvolumes) is one volume.
    if (std::find(seen.begin(), seen.end(), entry.deviceNumber) != seen.end())
      continue;
    seen.push_back(entry.deviceNumber);
    VolumeFacts volume;
    volume.driveNumber = owner->second.driveNumber;
    volume.mountPoint = entry.mountPoint;
    volume.fileSystem = entry.fileSystem;
    volume.infoReadable = !entry.fileSystem.empty();
    auto label = labelByKernelName.find(owner->second.kernelName);
    if (label != labelByKernelName.end())
      volume.label = label->second;
    volume.removable = owner->second.removable;
    struct statvfs space {};
    std::string where = root_ + entry.mountPoint.substr(entry.mountPoint.empty() ? 0 : 1);
    if (::statvfs(where.c_str(), &space) == 0) {
      volume.freeBytes = static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
      volume.totalBytes = static_cast<std::uint64_t>(space.f_blocks) * space.f_frsize;
    }
    volumes.push_back(volume);
  }
  return volumes;
}

bool LinuxDiskSystem::ListStorageInterfaces(std::vector<StorageInterfaceFacts>* interfaces,
                                            std::string* message) {
  const auto disks = Disks();
  interfaces->clear();
  std::error_code error;
  if (!fs::is_directory(root_ + "sys/block", error)) {
    if (message)
      *message = "cannot list " + root_ + "sys/block";
    return false;
  }
  for (std::size_t n = 0; n < disks->size(); ++n) {
    const Disk& disk = (*disks)[n];
    if (!fs::exists(disk.devicePath))
      continue;  // gone since the scan
    StorageInterfaceFacts facts;
    facts.driveNumber = static_cast<int>(n);
    switch (BusTypeOf(disk)) {
      case kBusTypeUsb: {
        facts.enumerator = "usbstor";
        std::string usb = UsbDeviceFolderOf(disk);
        facts.instanceId = ReadAttribute(usb + "/serial") + "&0";
        break;
      }
      case kBusTypeNvme:
        facts.enumerator = "nvme";
        break;
      case kBusTypeAta:
      case kBusTypeSata:
        facts.enumerator = "ide";
        break;
      default:
        facts.enumerator = "scsi";
        break;
    }
    if (facts.instanceId.empty())
      facts.instanceId = disk.name;
    interfaces->push_back(facts);
  }
  return true;
}

std::vector<UsbDeviceFacts> LinuxDiskSystem::ListUsbDevices() {
  std::vector<UsbDeviceFacts> devices;
  std::vector<std::string> folders;
  std::error_code error;
  for (fs::directory_iterator it(root_ + "sys/bus/usb/devices", error), end; !error && it != end;
       it.increment(error)) {
    folders.push_back(it->path().string());
  }
  std::sort(folders.begin(), folders.end());
  for (const std::string& folder : folders) {
    std::string vendor = ReadAttribute(folder + "/idVendor");
    if (vendor.empty())
      continue;  // an interface, not a device
    if (ReadAttribute(folder + "/bDeviceClass") == "09")
      continue;  // hubs are walked, not listed
    UsbDeviceFacts device;
    device.serial = ReadAttribute(folder + "/serial");
    device.lowSpeed = ReadAttribute(folder + "/speed") == "1.5";
    device.vendorId = ParseHex(vendor);
    device.productId = ParseHex(ReadAttribute(folder + "/idProduct"));
    devices.push_back(device);
  }
  return devices;
}

bool LinuxDiskSystem::QueryStorageDescriptor(int driveNumber, StorageDescriptorFacts* facts) {
  const std::optional<Disk> disk = DiskAt(driveNumber);
  if (!disk || !fs::exists(disk->devicePath + "/dev"))
    return false;
  *facts = StorageDescriptorFacts{};
  std::string device = disk->devicePath + "/device";
  facts->rawBusType = BusTypeOf(*disk);
  facts->product = ReadAttribute(device + "/model");
  if (facts->rawBusType == kBusTypeNvme) {
    // The controller folder holds the identity; the storage stack calls its vendor NVMe.
    facts->vendor = "NVMe";
    facts->revision = ReadAttribute(device + "/firmware_rev");
    facts->serial = ReadAttribute(device + "/serial");
  } else {
    facts->vendor = ReadAttribute(device + "/vendor");
    facts->revision = ReadAttribute(device + "/rev");
    std::optional<std::string> vpd = ReadRaw(device + "/vpd_pg80");
    facts->serial = vpd ? SerialFromVpd80(*vpd) : std::string();
    if (facts->serial.empty())
      facts->serial = ReadAttribute(device + "/serial");
  }
  std::string size = ReadAttribute(disk->devicePath + "/size");
  std::uint64_t sectors = 0;
  for (char c : size) {
    if (c < '0' || c > '9' || sectors > (UINT64_MAX / 10 - 9) / 512)
      break;
    sectors = sectors * 10 + static_cast<std::uint64_t>(c - '0');
  }
  facts->sizeBytes = sectors * 512;  // sysfs counts 512-byte units whatever the sector size
  return true;
}

std::unique_ptr<AtaDevice> LinuxDiskSystem::Open(int driveNumber, const AtaOpenMode& mode,
                                                 std::string* message) {
  const std::optional<Disk> disk = DiskAt(driveNumber);
  if (!disk) {
    if (message)
      *message = "no physical drive " + std::to_string(driveNumber);
    return nullptr;
  }
  std::string ignored;
  if (!message)
    message = &ignored;
  if (!mode.eraserAccess && IsBusy(driveNumber)) {
    *message = BusyMessage(driveNumber);
    return nullptr;
  }
  std::string path = root_ + "dev/" + disk->name;
  std::unique_ptr<LinuxAtaDevice> device =
      LinuxAtaDevice::Open(path, mode, gates_.GateFor(path), message);
  if (device) {
    if (std::optional<UsbDiskFacts> usb = UsbDiskOf(driveNumber))
      device->SetUsbBridge(bridges_.BridgeFor(*usb));
  }
  return device;
}

std::optional<UsbDiskFacts> LinuxDiskSystem::UsbDiskOf(int driveNumber) {
  const std::optional<Disk> disk = DiskAt(driveNumber);
  if (!disk || BusTypeOf(*disk) != kBusTypeUsb)
    return std::nullopt;
  const std::string usb = UsbDeviceFolderOf(*disk);
  UsbDiskFacts facts;
  if (usb.empty()) {
    facts.appearance = disk->devicePath;
    return facts;
  }
  facts.vendorId = ParseHex(ReadAttribute(usb + "/idVendor"));
  facts.productId = ParseHex(ReadAttribute(usb + "/idProduct"));
  facts.speed = ReadAttribute(usb + "/speed");
  const std::string type = ReadAttribute(disk->devicePath + "/device/type");
  facts.scsiType = AllDigits(type, 0) && type.size() < 4 ? std::stoi(type) : -1;
  facts.directAccess = facts.scsiType == 0;
  facts.appearance =
      usb + "#" + ReadAttribute(usb + "/busnum") + "." + ReadAttribute(usb + "/devnum");
  return facts;
}

std::string LinuxDiskSystem::DiskKey(int driveNumber) {
  const std::optional<Disk> disk = DiskAt(driveNumber);
  return disk ? root_ + "dev/" + disk->name : std::string();
}

std::vector<DiskUse> LinuxDiskSystem::FindDiskUses(int driveNumber) {
  using Kind = DiskUse::Kind;
  const std::optional<Disk> disk = DiskAt(driveNumber);
  if (!disk)
    return {{Kind::kNotChecked, "no physical drive " + std::to_string(driveNumber)}};
  std::vector<DiskUse> uses;

  // The disk and its partitions: kernel name and sysfs folder.
  std::vector<std::pair<std::string, std::string>> nodes = {{disk->name, disk->devicePath}};
  for (const std::string& child : FolderEntries(disk->devicePath)) {
    if (fs::exists(disk->devicePath + "/" + child + "/partition")) {
      nodes.emplace_back(child, disk->devicePath + "/" + child);
      uses.push_back({Kind::kPartition, "partition " + child});
    }
  }

  std::map<std::string, std::string> nameByDeviceNumber;
  std::vector<std::pair<OpenedThing, std::string>> things;
  for (const auto& [name, folder] : nodes) {
    for (const std::string& holder : FolderEntries(folder + "/holders"))
      uses.push_back({Kind::kHolder, name + " is used by " + holder});
    const std::string dev = ReadAttribute(folder + "/dev");
    if (!dev.empty())
      nameByDeviceNumber[dev] = name;
    const std::string node = root_ + "dev/" + name;
    std::vector<std::string> signatures;
    std::string problem;
    if (!ProbeBlockSignatures(node, &signatures, &problem)) {
      uses.push_back({Kind::kNotChecked, problem});
    }
    for (const std::string& signature : signatures)
      uses.push_back({Kind::kSignature, signature + " signature on " + node});
    if (std::optional<OpenedThing> thing = ThingAt(node))
      things.emplace_back(*thing, node);
  }

  std::ifstream mountInfo(root_ + "proc/self/mountinfo");
  std::string line;
  while (std::getline(mountInfo, line)) {
    MountInfoEntry entry;
    if (!ParseMountInfoLine(line, &entry))
      continue;
    auto found = nameByDeviceNumber.find(entry.deviceNumber);
    if (found != nameByDeviceNumber.end()) {
      uses.push_back(
          {Kind::kMount, "/dev/" + found->second + " is mounted on " + entry.mountPoint});
    }
  }
  std::ifstream swaps(root_ + "proc/swaps");
  while (std::getline(swaps, line)) {
    const std::string device = line.substr(0, line.find_first_of(" \t"));
    for (const auto& [name, folder] : nodes) {
      if (device == "/dev/" + name)
        uses.push_back({Kind::kMount, device + " is in use as swap"});
    }
  }

  // Other processes' open descriptors (our own handles are kept off by the busy mark).
  const std::string self = std::to_string(::getpid());
  for (const std::string& pid : FolderEntries(root_ + "proc")) {
    if (!AllDigits(pid, 0) || pid == self)
      continue;
    const std::string fdFolder = root_ + "proc/" + pid + "/fd/";
    for (const std::string& fd : FolderEntries(fdFolder)) {
      std::optional<OpenedThing> thing = ThingAt(fdFolder + fd);
      if (!thing)
        continue;
      for (const auto& [known, node] : things) {
        if (known == *thing) {
          uses.push_back({Kind::kOpenElsewhere, "process " + pid + " (" +
                                                    ReadAttribute(root_ + "proc/" + pid + "/comm") +
                                                    ") has " + node + " open"});
        }
      }
    }
  }

  // O_EXCL fails while a partition is mounted or the disk is claimed by a holder.
  const std::string node = root_ + "dev/" + disk->name;
  const int fd = ::open(node.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    uses.push_back(
        {Kind::kNotExclusive, "cannot open " + node + " exclusively: " + std::strerror(errno)});
  } else {
    ::close(fd);
  }
  return uses;
}

Status LinuxDiskSystem::CheckAccess() {
  const auto disks = Disks();
  for (const Disk& disk : *disks) {
    std::string path = root_ + "dev/" + disk.name;
    if (::access(path.c_str(), R_OK | W_OK) != 0) {
      return Status::Failed("no rights to open " + path + " (" + std::strerror(errno) +
                            "); run as root to read the disks");
    }
  }
  if (!disks->empty() && ::geteuid() != 0) {
    return Status::Failed("ATA pass-through needs root rights; run as root to read the disks");
  }
  return Status::Ok();
}

}  // namespace ds
