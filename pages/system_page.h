#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pages/system_info.h"
#include "pages/template_expander.h"
#include "platform/program_roots.h"

// The System Information page: processor, operating system, memory, storage driver,
// motherboard, BIOS and the kept disks, from the template in its registry row.
namespace ds {

// The board and BIOS values of the registry; an absent value shows as "Unknown".
struct BiosValues {
  std::optional<std::string> baseBoardManufacturer;
  std::optional<std::string> baseBoardProduct;
  std::optional<std::string> baseBoardVersion;  // an empty text drops the version line
  std::optional<std::string> biosVendor;
  std::optional<std::string> biosVersion;
  std::optional<std::string> biosReleaseDate;
};

struct DiskIdentity {
  std::string model;
  std::string serial;
};

struct SystemPageInput {
  SystemInfo info;
  std::string sataDriverDesc;
  std::string sataDriverVersion;
  BiosValues bios;
  std::vector<DiskIdentity> disks;  // the kept disks in list order
};

inline constexpr const char* kSystemPageFile = "SystemPage.html";

// The eight fields of the page, in replacement order.
PageFields SystemPageFields(const SystemPageInput& input);

// Deletes the previous page and writes data/SystemPage.html into the home folder. Returns
// the page's file name, or nothing (with `message`) when the template is missing or the
// page could not be written.
[[nodiscard]] std::optional<std::string> BuildSystemPage(const ProgramRoots& roots,
                                                         const SystemPageInput& input,
                                                         std::string* message);

}  // namespace ds
