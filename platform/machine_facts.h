#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Operating-system, processor, memory, board and storage-controller facts of this machine,
// read from the files Linux offers (/etc/os-release, /proc/cpuinfo, /proc/meminfo,
// /proc/sys/kernel, /sys/class/dmi/id, /sys/bus/pci/devices). Every field may be empty or 0
// when its source is missing.
namespace ds {

// A mass-storage controller and its kernel driver, as the system's driver list names it.
struct StorageControllerFacts {
  std::string driverDesc;     // "Standard SATA AHCI Controller (ahci)"
  std::string driverVersion;  // the driver module's version, else the kernel release
};

struct MachineFacts {
  std::string osPrettyName;   // PRETTY_NAME of os-release, e.g. "Debian GNU/Linux 12 (bookworm)"
  std::string kernelRelease;  // e.g. "6.1.0-18-amd64"
  std::string architecture;   // e.g. "x86_64"
  std::string cpuVendor;      // vendor_id
  std::string cpuModelName;   // model name
  std::string cpuFamily;      // cpu family, model and stepping, "" where the processor lacks them
  std::string cpuModel;
  std::string cpuStepping;
  std::uint32_t cpuMhz = 0;
  std::uint32_t processorCount = 0;
  std::uint64_t memTotalBytes = 0;
  std::uint64_t memAvailableBytes = 0;
  // The board and BIOS strings of the firmware's DMI table (/sys/class/dmi/id), nothing
  // where the table has no such string.
  std::optional<std::string> boardVendor;   // board_vendor
  std::optional<std::string> boardProduct;  // board_name
  std::optional<std::string> boardVersion;  // board_version
  std::optional<std::string> biosVendor;    // bios_vendor
  std::optional<std::string> biosVersion;   // bios_version
  std::optional<std::string> biosDate;      // bios_date
  // PCI mass-storage controllers, SATA ones first, then by PCI address.
  std::vector<StorageControllerFacts> storageControllers;
};

// Reads the facts below `root` ("/" for this machine; a fixture folder in tests).
MachineFacts ReadMachineFacts(const std::string& root);

}  // namespace ds
