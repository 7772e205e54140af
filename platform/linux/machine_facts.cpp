#include "platform/machine_facts.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "platform/file_system.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

constexpr std::size_t kMaxProcFileBytes = 4u << 20;

std::string ReadSmallFile(const std::string& path) {
  std::string content, message;
  // /proc files report a size of 0; ReadWholeFile reads until the end regardless.
  if (!ReadWholeFile(path, kMaxProcFileBytes, &content, &message))
    return {};
  return content;
}

// os-release values may be quoted: blanks and quotes both go.
std::string_view TrimBlanksAndQuotes(std::string_view text) {
  const char* blanks = " \t\r\n\"'";
  std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos)
    return {};
  std::size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

// Calls `visit(key, value)` for every "key<separator>value" line of `text`.
template <typename Visitor>
void ForEachLine(std::string_view text, char separator, Visitor&& visit) {
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    std::size_t at = line.find(separator);
    if (at == std::string_view::npos) {
      if (!visit(TrimBlanksAndQuotes(line), std::string_view()))
        return;
      continue;
    }
    if (!visit(TrimBlanksAndQuotes(line.substr(0, at)), TrimBlanksAndQuotes(line.substr(at + 1))))
      return;
  }
}

std::uint64_t KilobytesToBytes(std::string_view value) {
  std::uint64_t kb = 0;
  for (char c : value) {
    if (c < '0' || c > '9')
      break;
    kb = kb * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return kb * 1024;
}

std::string ControllerKind(const std::string& pciClass) {
  // Class code 0x01SSPP: mass storage, subclass SS, programming interface PP.
  if (pciClass.rfind("0x010601", 0) == 0)
    return "SATA AHCI Controller";
  if (pciClass.rfind("0x0106", 0) == 0)
    return "SATA Controller";
  if (pciClass.rfind("0x0101", 0) == 0)
    return "IDE ATA/ATAPI Controller";
  if (pciClass.rfind("0x0104", 0) == 0)
    return "RAID Controller";
  if (pciClass.rfind("0x0107", 0) == 0)
    return "SAS Controller";
  if (pciClass.rfind("0x0108", 0) == 0)
    return "NVM Express Controller";
  return "Storage Controller";
}

std::vector<StorageControllerFacts> ReadStorageControllers(const std::string& base,
                                                           const std::string& kernel) {
  namespace fs = std::filesystem;
  struct Found {
    bool sata;
    std::string address;
    StorageControllerFacts controller;
  };
  std::vector<Found> found;
  std::error_code error;
  for (const auto& device : fs::directory_iterator(base + "sys/bus/pci/devices", error)) {
    std::string pciClass(TrimBlanksAndQuotes(ReadSmallFile((device.path() / "class").string())));
    if (pciClass.rfind("0x01", 0) != 0)
      continue;
    std::string driver;
    std::error_code linkError;
    fs::path target = fs::read_symlink(device.path() / "driver", linkError);
    if (!linkError)
      driver = target.filename().string();
    std::string version = driver.empty() ? ""
                                         : std::string(TrimBlanksAndQuotes(ReadSmallFile(
                                               base + "sys/module/" + driver + "/version")));
    if (version.empty())
      version = kernel;
    std::string desc = "Standard " + ControllerKind(pciClass);
    if (!driver.empty())
      desc += " (" + driver + ")";
    found.push_back(
        {pciClass.rfind("0x0106", 0) == 0, device.path().filename().string(), {desc, version}});
  }
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    if (a.sata != b.sata)
      return a.sata;
    return a.address < b.address;
  });
  std::vector<StorageControllerFacts> controllers;
  for (Found& f : found)
    controllers.push_back(std::move(f.controller));
  return controllers;
}

}  // namespace

MachineFacts ReadMachineFacts(const std::string& root) {
  MachineFacts facts;
  std::string base = root.empty() || root.back() != '/' ? root + "/" : root;

  ForEachLine(ReadSmallFile(base + "etc/os-release"), '=', [&](auto key, auto value) {
    if (key == "PRETTY_NAME")
      facts.osPrettyName = value;
    return true;
  });
  facts.kernelRelease = TrimBlanksAndQuotes(ReadSmallFile(base + "proc/sys/kernel/osrelease"));
  facts.architecture = TrimBlanksAndQuotes(ReadSmallFile(base + "proc/sys/kernel/arch"));
  if (base == "/" && (facts.architecture.empty() || facts.kernelRelease.empty())) {
    struct utsname names;
    if (::uname(&names) == 0) {
      if (facts.architecture.empty())
        facts.architecture = names.machine;
      if (facts.kernelRelease.empty())
        facts.kernelRelease = names.release;
    }
  }

  bool firstProcessorDone = false;
  ForEachLine(ReadSmallFile(base + "proc/cpuinfo"), ':', [&](auto key, auto value) {
    if (key == "processor") {
      firstProcessorDone = facts.processorCount > 0;
      ++facts.processorCount;
    }
    if (firstProcessorDone)
      return true;  // the first processor describes them all
    if (key == "vendor_id")
      facts.cpuVendor = value;
    if (key == "model name")
      facts.cpuModelName = value;
    if (key == "cpu family")
      facts.cpuFamily = value;
    if (key == "model")
      facts.cpuModel = value;
    if (key == "stepping")
      facts.cpuStepping = value;
    if (key == "cpu MHz")
      facts.cpuMhz = static_cast<std::uint32_t>(std::atof(std::string(value).c_str()));
    return true;
  });

  ForEachLine(ReadSmallFile(base + "proc/meminfo"), ':', [&](auto key, auto value) {
    if (key == "MemTotal")
      facts.memTotalBytes = KilobytesToBytes(value);
    if (key == "MemAvailable")
      facts.memAvailableBytes = KilobytesToBytes(value);
    return true;
  });

  const std::pair<const char*, std::optional<std::string>*> dmi[] = {
      {"board_vendor", &facts.boardVendor},   {"board_name", &facts.boardProduct},
      {"board_version", &facts.boardVersion}, {"bios_vendor", &facts.biosVendor},
      {"bios_version", &facts.biosVersion},   {"bios_date", &facts.biosDate}};
  for (const auto& [name, field] : dmi) {
    std::string content, message;
    if (ReadWholeFile(base + "sys/class/dmi/id/" + name, kMaxProcFileBytes, &content, &message))
      *field = std::string(TrimBoth(content));
  }
  facts.storageControllers = ReadStorageControllers(base, facts.kernelRelease);
  return facts;
}

}  // namespace ds
