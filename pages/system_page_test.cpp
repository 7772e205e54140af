#include "pages/system_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/machine_facts.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string FieldValue(const PageFields& fields, const std::string& key) {
  const auto at = std::find(fields.keys().begin(), fields.keys().end(), key);
  return at == fields.keys().end() ? "<absent>" : fields.values()[at - fields.keys().begin()];
}

TEST(SystemInfo, CollectsFromAFixtureTree) {
  TempFolder root;
  WriteFile(root.path() + "etc/os-release",
            "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
  WriteFile(root.path() + "proc/sys/kernel/osrelease", "6.1.0-18-amd64\n");
  WriteFile(root.path() + "proc/sys/kernel/arch", "x86_64\n");
  WriteFile(root.path() + "proc/cpuinfo",
            "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 85\n"
            "model name\t: Intel(R) Xeon(R) Gold 6230 CPU @ 2.10GHz\nstepping\t: 7\n"
            "cpu MHz\t\t: 2100.000\n\nprocessor\t: 1\nvendor_id\t: Other\nmodel\t\t: 1\n");
  WriteFile(root.path() + "proc/meminfo",
            "MemTotal:        8388608 kB\nMemFree: 1 kB\nMemAvailable:    4194304 kB\n");

  SystemPageInput input;
  SystemInfo& info = input.info;
  info.Collect(ReadMachineFacts(root.path()));
  EXPECT_EQ(info.osName + "|" + std::to_string(info.osMajor) + "." + std::to_string(info.osMinor) +
                "|" + info.cpuIdentifier + "|" + info.cpuVendor + "|" + info.cpuName + "|" +
                std::to_string(info.cpuMhz) + "|" + std::to_string(info.processorCount),
            "Debian GNU/Linux 12 (bookworm), kernel 6.1.0-18-amd64|6.1|x86_64 Family 6 Model 85 "
            "Stepping 7|GenuineIntel|Intel(R) Xeon(R) Gold 6230 CPU @ 2.10GHz|2100|2");
  const PageFields fields = SystemPageFields(input);
  EXPECT_EQ(FieldValue(fields, "STR_PHY_MEM") + FieldValue(fields, "STR_PHY_AVAILABLE_MEM"),
            "8192MB4096MB");
}

TEST(SystemInfo, MissingSourcesLeaveFieldsEmpty) {
  TempFolder root;
  WriteFile(root.path() + "proc/cpuinfo", "processor\t: 0\nCPU architecture: 8\n");
  SystemInfo info;
  info.Collect(ReadMachineFacts(root.path()));
  EXPECT_EQ(std::make_tuple(info.osName, info.cpuIdentifier, info.totalPhys),
            std::make_tuple("Linux", "", 0u));
}

TEST(SystemPage, FieldsInOrderWithBoardRulesAndEscaping) {
  SystemPageInput input;
  input.info.cpuIdentifier = "x86_64 Family 6 Model 85 Stepping 7";
  input.info.cpuVendor = "GenuineIntel", input.info.cpuName = "Xeon";
  input.sataDriverDesc = "ahci", input.sataDriverVersion = "6.1.0";
  input.bios.baseBoardManufacturer = "ACME <Boards>", input.bios.biosVendor = "AMI";
  input.bios.baseBoardVersion = "";  // empty: no version line
  input.disks = {{"  QRA X50 128GB ", " SN1 "}, {"Other \"SSD\"", "SN2"}};
  PageFields fields = SystemPageFields(input);
  EXPECT_EQ(fields.keys(),
            (std::vector<std::string>{"STR_PROCESSOR", "STR_OS", "STR_PHY_MEM",
                                      "STR_PHY_AVAILABLE_MEM", "STR_SATA_DRIVER", "STR_MOTHERBOARD",
                                      "STR_BIOS", "STR_HARD_DRIVES"}));
  const std::string board = "Manufacturer: ACME &lt;Boards&gt;<br>Model: Unknown";
  EXPECT_EQ(fields.values(),
            (std::vector<std::string>{"x86_64 Family 6 Model 85 Stepping 7 / GenuineIntel<br>Xeon",
                                      "", "0MB", "0MB", "ahci 6.1.0", board,
                                      "Brand: AMI<br>Version: Unknown<br>Date: Unknown",
                                      "QRA X50 128GB (SN1)<br>Other &quot;SSD&quot; (SN2)"}));
  input.bios.baseBoardVersion.reset(), input.disks.clear();  // missing version: Unknown
  fields = SystemPageFields(input);
  EXPECT_EQ(FieldValue(fields, "STR_MOTHERBOARD") + "|" + FieldValue(fields, "STR_HARD_DRIVES"),
            board + "<br>Version: Unknown|");
}

// Filled from the delivered template (checked on the sample machine in app/report_pages_test).
TEST(SystemPage, WithoutATemplateTheStalePageIsDeleted) {
  TempFolder home;
  WriteFile(home.path() + "data/SystemPage.html", "stale");
  std::string message;
  EXPECT_EQ(BuildSystemPage(ProgramRoots(home.path()), SystemPageInput{}, &message), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(home.path() + "data/SystemPage.html"));
}

}  // namespace
}  // namespace ds
