#include "cli/report_command.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "drive/test_machine.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

const std::string kHome = std::string(DS_SOURCE_DIR) + "/";

struct ReportRun {
  int code = -1;
  std::string out, err;
};

ReportRun Report(const std::vector<std::string>& args, const std::string& home = kHome) {
  std::ostringstream out, err;
  ReportRun run;
  run.code = RunReportCommand(args, home, out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

// The text of the JSON object of disk `index` (from its "index" key to the next one).
std::string DriveJson(const std::string& json, int index) {
  std::size_t start = json.find("\"index\": " + std::to_string(index) + ",");
  if (start == std::string::npos)
    return {};
  std::size_t end = json.find("\"index\": ", start + 1);
  return json.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(DriveReportTest, DemoJsonHasEveryKeptDriveWithItsFields) {
  ReportRun run = Report({"--demo", "--all", "--json"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_TRUE(Has(run.out, "\"enumeratedCount\": 6"));
  EXPECT_TRUE(Has(run.out, "\"driveCount\": 4"));
  struct Expected {
    const char* model;
    int series;
    int temperature;
    int peCycleLimit;
    const char* attr167;
    const char* signature;
    const char* reallocated;
    const char* a170;
  };
  const Expected expected[] = {
      {"QRA-X50 256GB SATA SSD", 0, 38, 3000, "1500", "true", "2", "0"},
      {"QRB-X52 128GB", 1, 41, 5000, "905", "false", "1", "98"},
      {"QRC-X57 32GB CFast", 2, 45, 3000, "41", "false", "0", "100"},
      {"Veltrix VR480 SATA SSD", 99, 33, 3000, "0", "false", "0", "23"},
  };
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE("disk " + std::to_string(i));
    std::string drive = DriveJson(run.out, i);
    ASSERT_FALSE(drive.empty());
    const Expected& e = expected[i];
    std::string model = e.model;
    model.resize(40, ' ');
    EXPECT_TRUE(Has(drive, "\"model\": \"" + model + "\""));
    EXPECT_TRUE(Has(drive, "\"driveNumber\": " + std::to_string(i)));
    EXPECT_TRUE(Has(drive, "\"busType\": 11"));
    EXPECT_TRUE(Has(drive, "\"modelSeries\": " + std::to_string(e.series)));
    EXPECT_TRUE(Has(drive, "\"temperature\": " + std::to_string(e.temperature)));
    EXPECT_TRUE(Has(drive, "\"peCycleLimit\": " + std::to_string(e.peCycleLimit)));
    EXPECT_TRUE(Has(drive, std::string("\"attr167Raw\": ") + e.attr167));
    EXPECT_TRUE(Has(drive, std::string("\"isSm2246\": ") + e.signature));
    EXPECT_TRUE(Has(drive, std::string("\"reallocatedRaw\": ") + e.reallocated));
    EXPECT_TRUE(Has(drive, std::string("\"attr170Raw\": ") + e.a170));
    EXPECT_TRUE(Has(drive, "\"smartRead\": 1"));
    EXPECT_TRUE(Has(drive, "\"identifyChecksum\": \"valid\""));
    for (const char* key :
         {"serial",     "firmware",      "sectorCount",       "udmaMode",     "pioMode",
          "mediaType",  "driveLetters",  "volumeLabels",      "fileSystems",  "usbSpeed",
          "smartState", "hpaState",      "securitySupported", "cfaSupported", "identifyWords",
          "attributes", "thresholdById", "powerOnHours",      "powerCycles",  "attr161Raw",
          "attr163Raw", "attr231Raw",    "smartSignature",    "isOtherSm",    "attributeCount"}) {
      EXPECT_TRUE(Has(drive, std::string("\"") + key + "\": ")) << key;
    }
  }
  // The attribute list of disk 0 starts in table order with full fields.
  EXPECT_TRUE(Has(DriveJson(run.out, 0),
                  "{\"id\": 1, \"name\": \"Raw Read Error Rate\", \"flags\": 11, \"current\": "
                  "100, \"worst\": 100, \"threshold\": 50, \"raw\": 0}"));
  EXPECT_TRUE(Has(DriveJson(run.out, 0),
                  "{\"id\": 194, \"name\": \"Temperature (Celsius)\", "
                  "\"flags\": 34, \"current\": 100, \"worst\": 100, "
                  "\"threshold\": 0, \"raw\": 38}"));
  // Each drive lists its own mounted volumes with their sizes; the CFast card has none.
  EXPECT_TRUE(Has(DriveJson(run.out, 1),
                  "{\"mountPoint\": \"/data\", \"label\": \"data\", \"fileSystem\": \"ext4\", "
                  "\"freeBytes\": 39728447488, \"totalBytes\": 83751862272}"));
  EXPECT_TRUE(Has(DriveJson(run.out, 2), "\"volumes\": []"));
}

TEST(DriveReportTest, OneDriveInText) {
  ReportRun run = Report({"--demo", "--drive", "1"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_TRUE(Has(run.out, "Disk 1 (physical drive 1)"));
  EXPECT_FALSE(Has(run.out, "Disk 0 "));
  EXPECT_TRUE(Has(run.out, "Serial:           QRB52D2011070311"));
  EXPECT_TRUE(Has(run.out, "Volumes:          /data, /home"));
  EXPECT_TRUE(Has(run.out, "Erase count:      905 of 5000 cycles"));
  EXPECT_TRUE(Has(run.out, "  231 SSD Life Left"));
}

TEST(DriveReportTest, BadArguments) {
  struct Case {
    std::vector<std::string> args;
    int code;
  };
  const Case cases[] = {
      {{"--demo", "--drive", "x"}, kExitUsage},
      {{"--demo", "--drive"}, kExitUsage},
      {{"--bogus"}, kExitUsage},
      {{"--demo", "--drive", "7"}, kExitUsage},
      {{"--demo", "--drive", "123"}, kExitUsage},
      {{"--sim"}, kExitUsage},
      {{"--sim", "/no/such/machine"}, kExitNoRights},
  };
  for (const Case& c : cases) {
    ReportRun run = Report(c.args);
    EXPECT_EQ(run.code, c.code) << c.args.back();
    EXPECT_FALSE(run.err.empty());
    EXPECT_TRUE(run.out.empty());
  }
}

TEST(DriveReportTest, MachineWithoutAtaDisksSaysSo) {
  TempFolder machine;
  testing::MakePlainDriveFolder(machine.path() + "0-usb", "bus_type=7\n");
  testing::MakePlainDriveFolder(machine.path() + "1-nvme", "bus_type=17\n");
  ReportRun text = Report({"--sim", machine.path()});
  EXPECT_EQ(text.code, kExitNoDisk);
  EXPECT_TRUE(Has(text.out, "no ATA or SATA disk")) << text.out;
  ReportRun json = Report({"--sim", machine.path(), "--json"});
  EXPECT_EQ(json.code, kExitNoDisk);
  EXPECT_TRUE(Has(json.out, "\"drives\": []"));
  EXPECT_TRUE(Has(json.out, "\"enumeratedCount\": 2"));
}

TEST(DriveReportTest, DiskTextsAreEscapedAndFailuresReported) {
  TempFolder machine;
  std::string model = "QRA \"X50\"\\";
  model += '\x01';
  model += "\xC3\xA9";
  testing::MakeAtaDriveFolder(machine.path() + "0-odd",
                              testing::IdentifySector(model, "S<1>", "F", 1000),
                              "fault_abort_commands=B0:D0\n");
  ReportRun run = Report({"--sim", machine.path(), "--json"});
  EXPECT_EQ(run.code, kExitDiskUnreadable);
  EXPECT_TRUE(Has(run.out, "\"model\": \"QRA \\\"X50\\\"\\\\\\u0001\xC3\xA9")) << run.out;
  EXPECT_TRUE(Has(run.out, "\"messages\": [\"GetSmartData NG\"]"));
  EXPECT_TRUE(Has(run.out, "\"smartRead\": 0"));
  ReportRun text = Report({"--sim", machine.path()});
  EXPECT_TRUE(Has(text.out, "QRA \"X50\"\\\\x01\\xC3\\xA9")) << text.out;
  EXPECT_TRUE(Has(text.out, "not read (GetSmartData NG)"));
}

TEST(DriveReportTest, StartLimitComesFromTheInstalledIni) {
  TempFolder home;
  std::filesystem::create_directories(home.path() + "data");
  std::filesystem::copy(kHome + "data/SMART.dat", home.path() + "data/SMART.dat");
  testing::WriteFile(home.path() + "Norvik_DriveSentinel.ini", "PE_Cycle_Limit=7000\n");
  TempFolder machine;
  testing::MakeAtaDriveFolder(machine.path() + "0-a",
                              testing::IdentifySector("QRA-X50", "S", "F", 1000), "");
  ReportRun run = Report({"--sim", machine.path(), "--json"}, home.path());
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_TRUE(Has(run.out, "\"peCycleLimit\": 7000"));
  EXPECT_TRUE(Has(run.out, "\"powerOnHours\": 42"));
}

}  // namespace
}  // namespace ds
