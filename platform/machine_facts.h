#pragma once

#include <cstdint>
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
  std::string boardProduct;  // the motherboard's product name (DMI board_name)
  // PCI mass-storage controllers, SATA ones first, then by PCI address.
  std::vector<StorageControllerFacts> storageControllers;
};

// Reads the facts below `root` ("/" for this machine; a fixture folder in tests).
MachineFacts ReadMachineFacts(const std::string& root);

}  // namespace ds
