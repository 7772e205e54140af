#include "pages/system_page.h"

#include <cstdio>

#include "pages/page_format.h"
#include "pages/page_registry.h"
#include "pages/template_expander.h"
#include "text/html_escape.h"
#include "text/ini_file_reader.h"

namespace ds {
namespace {

std::string ValueOrUnknown(const std::optional<std::string>& value) {
  return HtmlEscape(value ? *value : std::string("Unknown"));
}

}  // namespace

PageFields SystemPageFields(const SystemPageInput& input) {
  const SystemInfo& info = input.info;
  PageFields fields;
  fields.Add("STR_PROCESSOR", HtmlEscape(info.cpuIdentifier) + " / " + HtmlEscape(info.cpuVendor) +
                                  "<br>" + HtmlEscape(info.cpuName));
  fields.Add("STR_OS", HtmlEscape(info.osName));
  fields.Add("STR_PHY_MEM",
             Format("%lluMB", static_cast<unsigned long long>(info.totalPhys >> 20)));
  fields.Add("STR_PHY_AVAILABLE_MEM",
             Format("%lluMB", static_cast<unsigned long long>(info.availPhys >> 20)));
  fields.Add("STR_SATA_DRIVER",
             HtmlEscape(input.sataDriverDesc) + " " + HtmlEscape(input.sataDriverVersion));

  const BiosValues& bios = input.bios;
  std::string board = "Manufacturer: " + ValueOrUnknown(bios.baseBoardManufacturer) +
                      "<br>Model: " + ValueOrUnknown(bios.baseBoardProduct);
  if (!bios.baseBoardVersion || !bios.baseBoardVersion->empty()) {
    board += "<br>Version: " + ValueOrUnknown(bios.baseBoardVersion);
  }
  fields.Add("STR_MOTHERBOARD", board);
  fields.Add("STR_BIOS", "Brand: " + ValueOrUnknown(bios.biosVendor) +
                             "<br>Version: " + ValueOrUnknown(bios.biosVersion) +
                             "<br>Date: " + ValueOrUnknown(bios.biosReleaseDate));

  std::string disks;
  for (const DiskIdentity& disk : input.disks) {
    if (!disks.empty())
      disks += "<br>";
    disks += HtmlEscape(TrimBoth(disk.model)) + " (" + HtmlEscape(TrimBoth(disk.serial)) + ")";
  }
  fields.Add("STR_HARD_DRIVES", disks);
  return fields;
}

std::optional<std::string> BuildSystemPage(const ProgramRoots& roots, const SystemPageInput& input,
                                           std::string* message) {
  const std::string output = roots.HomeData(kSystemPageFile);
  std::remove(output.c_str());
  const std::string templatePath = PageTemplatePath(roots, kPageSystem);
  if (!ExpandTemplate(templatePath, output, SystemPageFields(input), message))
    return std::nullopt;
  return kSystemPageFile;
}

}  // namespace ds
