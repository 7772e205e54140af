#include "pages/system_info.h"

#include "text/leading_integer.h"

namespace ds {

void SystemInfo::Collect(const MachineFacts& facts) {
  osName = facts.osPrettyName.empty() ? std::string("Linux") : facts.osPrettyName;
  if (!facts.kernelRelease.empty())
    osName += ", kernel " + facts.kernelRelease;
  osMajor = static_cast<std::uint32_t>(LeadingInteger(facts.kernelRelease));
  std::size_t dot = facts.kernelRelease.find('.');
  osMinor = dot == std::string::npos
                ? 0
                : static_cast<std::uint32_t>(LeadingInteger(facts.kernelRelease.substr(dot + 1)));

  cpuIdentifier = facts.architecture;
  if (!facts.cpuFamily.empty() && !facts.cpuModel.empty() && !facts.cpuStepping.empty()) {
    if (!cpuIdentifier.empty())
      cpuIdentifier += ' ';
    cpuIdentifier +=
        "Family " + facts.cpuFamily + " Model " + facts.cpuModel + " Stepping " + facts.cpuStepping;
  }
  cpuVendor = facts.cpuVendor;
  cpuName = facts.cpuModelName;
  cpuMhz = facts.cpuMhz;
  processorCount = facts.processorCount;
  totalPhys = facts.memTotalBytes;
  availPhys = facts.memAvailableBytes;
}

}  // namespace ds
