// The thirteen real disks of the shared folder, each loaded as a simulated drive and read
// through the enumeration and ReadDrive, compared with the independent readings of hdparm
// (IDENTIFY) and libatasmart's skdump (attributes) kept beside the sectors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "drive/drive_enumerator.h"
#include "drive/read_drive.h"
#include "platform/sim/simulated_machine.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

namespace fs = std::filesystem;

const std::string kRealDrives = std::string(DS_TESTDATA_DIR) + "/real-drives";

std::string Trim(const std::string& text) {
  std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line))
    lines.push_back(line);
  return lines;
}

// What hdparm --Istdin printed for one IDENTIFY sector.
struct HdparmReading {
  std::string model, serial, firmware;
  std::uint64_t lba28 = 0;
  std::optional<std::uint64_t> lba48;
  int highestUdma = -1;
  int highestPio = -1;
  int smartState = 0;  // 0 absent, 1 listed, 2 listed and enabled
  int hpaState = 1;    // 1 absent, 0 listed, 2 listed and enabled
};

int HighestMode(const std::string& line, const std::string& prefix) {
  int highest = -1;
  std::size_t pos = 0;
  while ((pos = line.find(prefix, pos)) != std::string::npos) {
    pos += prefix.size();
    if (pos < line.size() && std::isdigit(static_cast<unsigned char>(line[pos]))) {
      highest = std::max(highest, line[pos] - '0');
    }
  }
  return highest;
}

// "   *\tSMART feature set": 2 with the star, 1 without, `absent` when not listed.
int FeatureState(const std::vector<std::string>& lines, const std::string& name, int absent,
                 int listed) {
  for (const std::string& line : lines) {
    std::size_t tab = line.find('\t', 1);
    if (tab == std::string::npos || Trim(line.substr(tab + 1)) != name)
      continue;
    return line.substr(0, tab).find('*') != std::string::npos ? 2 : listed;
  }
  return absent;
}

HdparmReading ReadHdparm(const std::string& path) {
  HdparmReading r;
  std::vector<std::string> lines = Lines(path);
  for (const std::string& line : lines) {
    auto value = [&line](const char* key) -> std::optional<std::string> {
      std::size_t at = line.find(key);
      if (at == std::string::npos)
        return std::nullopt;
      return Trim(line.substr(at + std::strlen(key)));
    };
    if (auto v = value("Model Number:"))
      r.model = *v;
    if (auto v = value("Serial Number:"))
      r.serial = *v;
    if (auto v = value("Firmware Revision:"))
      r.firmware = *v;
    if (auto v = value("LBA48  user addressable sectors:"))
      r.lba48 = std::stoull(*v);
    if (auto v = value("LBA    user addressable sectors:"))
      r.lba28 = std::stoull(*v);
    if (Trim(line).rfind("DMA:", 0) == 0)
      r.highestUdma = HighestMode(line, "udma");
    if (Trim(line).rfind("PIO:", 0) == 0)
      r.highestPio = HighestMode(line, "pio");
  }
  r.smartState = FeatureState(lines, "SMART feature set", 0, 1);
  r.hpaState = FeatureState(lines, "Host Protected Area feature set", 1, 0);
  return r;
}

// One attribute row of skdump.
struct SkdumpAttribute {
  int id = 0;
  std::optional<int> current, worst;  // nullopt for "n/a"
  int threshold = 0;
  std::uint64_t raw = 0;  // the six raw bytes, least significant first
  std::uint8_t rawByte0 = 0;
};

std::optional<int> Number(const std::string& token) {
  if (token == "n/a")
    return std::nullopt;
  return std::stoi(token);
}

std::vector<SkdumpAttribute> ReadSkdump(const std::string& path, std::string* model,
                                        std::string* serial, std::string* firmware) {
  std::vector<SkdumpAttribute> rows;
  bool inTable = false;
  for (const std::string& line : Lines(path)) {
    auto bracketed = [&line](const char* key, std::string* out) {
      if (line.rfind(key, 0) != 0)
        return;
      std::size_t open = line.find('['), close = line.rfind(']');
      if (open != std::string::npos && close != std::string::npos) {
        *out = line.substr(open + 1, close - open - 1);
      }
    };
    bracketed("Model:", model);
    bracketed("Serial:", serial);
    bracketed("Firmware:", firmware);
    if (line.rfind("ID#", 0) == 0) {
      inTable = true;
      continue;
    }
    if (!inTable || Trim(line).empty())
      continue;
    std::istringstream fields(line);
    std::vector<std::string> tokens;
    std::string token;
    while (fields >> token)
      tokens.push_back(token);
    auto raw = std::find_if(tokens.begin(), tokens.end(), [](const std::string& t) {
      return t.size() == 14 && t.rfind("0x", 0) == 0;
    });
    if (tokens.size() < 6 || raw == tokens.end())
      continue;
    SkdumpAttribute row;
    row.id = std::stoi(tokens[0]);
    row.current = Number(tokens[2]);
    row.worst = Number(tokens[3]);
    row.threshold = std::stoi(tokens[4]);
    for (int i = 0; i < 6; ++i) {
      auto byte = static_cast<std::uint64_t>(std::stoul(raw->substr(2 + 2 * i, 2), nullptr, 16));
      row.raw |= byte << (8 * i);
      if (i == 0)
        row.rawByte0 = static_cast<std::uint8_t>(byte);
    }
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> RealDriveNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(kRealDrives, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_directory())
      names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Every attribute id, so the comparison sees every slot the disk reports.
AttributeTable AllIds() {
  AttributeTable table;
  for (int id = 1; id <= 255; ++id)
    table.push_back({static_cast<std::uint8_t>(id), "id"});
  return table;
}

class RealDrivesTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    std::string drive = machine_.path() + "0-" + GetParam() + "/";
    fs::create_directories(drive);
    for (const char* file : {"identify.bin", "smart.bin", "thresholds.bin"}) {
      fs::copy_file(kRealDrives + "/" + GetParam() + "/" + file, drive + file);
    }
    std::ofstream(drive + "description.dat") << "bus_type=11\n";
  }
  std::string Reference(const char* file) const {
    return kRealDrives + "/" + GetParam() + "/" + file;
  }
  TempFolder machine_;
};

TEST(RealDrivesSetTest, ThirteenDrivesAreThere) {
  EXPECT_EQ(RealDriveNames().size(), 13u);
}

TEST_P(RealDrivesTest, IdentityMatchesHdparmAndSkdump) {
  std::string message;
  auto machine = SimulatedMachine::Load(machine_.path(), &message);
  ASSERT_TRUE(machine) << message;
  DriveList list = RefreshDriveList(*machine, nullptr);
  ASSERT_EQ(list.driveCount, 1);
  const DriveRecord& r = list.drives[0];

  HdparmReading hdparm = ReadHdparm(Reference("reference-hdparm.txt"));
  EXPECT_EQ(Trim(r.model), hdparm.model);
  EXPECT_EQ(r.serial, hdparm.serial);
  EXPECT_EQ(r.firmware, hdparm.firmware);
  EXPECT_EQ(r.sectorCount, hdparm.lba48.value_or(hdparm.lba28));
  EXPECT_EQ(r.udmaMode, std::max(hdparm.highestUdma, 0));
  EXPECT_EQ(r.pioMode, std::max(hdparm.highestPio, 0));
  EXPECT_EQ(r.smartState, hdparm.smartState);
  EXPECT_EQ(r.hpaState, hdparm.hpaState);

  std::string model, serial, firmware;
  ReadSkdump(Reference("reference-skdump.txt"), &model, &serial, &firmware);
  EXPECT_EQ(Trim(r.model), model);
  EXPECT_EQ(r.serial, serial);
  EXPECT_EQ(r.firmware, firmware);
}

TEST_P(RealDrivesTest, AttributesMatchSkdump) {
  std::string message;
  auto machine = SimulatedMachine::Load(machine_.path(), &message);
  ASSERT_TRUE(machine) << message;
  AttributeTable table = AllIds();
  ReadDriveContext context;
  context.opener = machine.get();
  context.attributeTable = &table;
  context.sleep = [](std::chrono::milliseconds) {};
  SmartSnapshot s;
  ASSERT_EQ(ReadDrive(context, 0, &s), 1);

  std::string model, serial, firmware;
  std::vector<SkdumpAttribute> rows =
      ReadSkdump(Reference("reference-skdump.txt"), &model, &serial, &firmware);
  ASSERT_FALSE(rows.empty());
  std::map<int, const SmartAttribute*> ours;
  for (const SmartAttribute& a : s.attributes)
    ours[a.id] = &a;

  std::size_t listed = 0;
  for (const SkdumpAttribute& row : rows) {
    SCOPED_TRACE("attribute " + std::to_string(row.id));
    auto found = ours.find(row.id);
    if (found == ours.end()) {
      // Left out only when both normalised values are 0 (skdump shows them as n/a).
      EXPECT_FALSE(row.current.has_value());
      EXPECT_FALSE(row.worst.has_value());
      continue;
    }
    ++listed;
    const SmartAttribute& a = *found->second;
    if (row.current) {
      EXPECT_EQ(a.current, static_cast<std::uint64_t>(*row.current));
    } else {
      EXPECT_TRUE(a.current == 0 || a.current >= 254);
    }
    if (row.worst) {
      EXPECT_EQ(a.worst, static_cast<std::uint64_t>(*row.worst));
    }
    EXPECT_EQ(a.threshold, static_cast<std::uint64_t>(row.threshold));
    EXPECT_EQ(a.raw, row.id == 194 ? row.rawByte0 : row.raw);
    if (row.id == 194) {
      EXPECT_EQ(s.temperature, row.rawByte0);
    }
    if (row.id == 9) {
      EXPECT_EQ(s.powerOnHours, row.raw);
    }
    if (row.id == 12) {
      EXPECT_EQ(s.powerCycles, row.raw);
    }
  }
  EXPECT_EQ(listed, s.attributes.size());
}

INSTANTIATE_TEST_SUITE_P(SharedDumps, RealDrivesTest, ::testing::ValuesIn(RealDriveNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c)))
                               c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace ds
