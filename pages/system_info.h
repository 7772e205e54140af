#pragma once

#include <cstdint>
#include <string>

#include "platform/machine_facts.h"

// The operating-system, processor and memory facts the System Information page shows,
// gathered once at start-up.
namespace ds {

struct SystemInfo {
  std::string osName;         // "Debian GNU/Linux 12 (bookworm), kernel 6.1.0-18-amd64"
  std::uint32_t osMajor = 0;  // kernel version
  std::uint32_t osMinor = 0;
  std::string cpuIdentifier;  // "x86_64 Family 25 Model 1 Stepping 1"
  std::string cpuVendor;
  std::string cpuName;
  std::uint32_t cpuMhz = 0;
  std::uint32_t processorCount = 0;
  std::uint64_t totalPhys = 0;
  std::uint64_t availPhys = 0;

  // Fills the fields from the machine's facts.
  void Collect(const MachineFacts& facts);
};

}  // namespace ds
