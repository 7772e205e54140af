#include "pages/disk_info_page.h"

#include "pages/page_format.h"
#include "pages/page_registry.h"
#include "pages/unicode_text_file.h"
#include "platform/file_system.h"
#include "text/html_escape.h"
#include "text/ini_file_reader.h"

namespace ds {
namespace {

constexpr int kMaxVolumesPerDrive = 26;
constexpr const char* kJumpMenuOpen = "<select onChange=\"MM_jumpMenu('self',this,0)\">";

// A disk or user text for the 16-bit page: Linux texts are UTF-8, the page's 8-bit text
// is Windows-1252, and the markup must survive any character in it.
std::string PageText(const std::string& text) {
  return HtmlEscape(Utf8ToWindows1252(text));
}

bool Bit(std::uint16_t word, int bit) {
  return (word >> bit) & 1;
}

struct Feature {
  const char* name;
  int word;
  int bit;
};

constexpr Feature kFeatures[] = {
    {"CFast Specification", 69, 15},
    {"Host Initiated Power Management (HIPM)", 76, 9},
    {"Native Command Queuing(NCQ)", 76, 8},
    {"Device Sleep", 78, 8},
    {"Initiating Power Management (DIPM)", 78, 3},
    {"Read Look-Ahead", 82, 6},
    {"Write Cache", 82, 5},
    {"ATA Security", 82, 1},
    {"S.M.A.R.T.", 82, 0},
    {"48-bit Address", 83, 10},
    {"CFA Feature", 83, 2},
    {"Security Erase", 128, 5},
    {"TRIM", 169, 0},
};

std::string DriveSelection(const std::vector<DriveRecord>& drives, int shown) {
  std::string list = kJumpMenuOpen;
  for (std::size_t j = 0; j < drives.size(); ++j) {
    list += Format(static_cast<int>(j) == shown ? "<option value=\"disk_info_%zu_0.html\" selected>"
                                                : "<option value=\"disk_info_%zu_0.html\">",
                   j);
    list += PageText(drives[j].model) + "</option>";
  }
  return list + "</select>";
}

std::string VolumeSelection(int drive, const std::vector<std::string>& letters, int shown) {
  std::string list = kJumpMenuOpen;
  if (letters.empty()) {
    list += Format("<option value=\"disk_info_%d_0.html\">NULL</option>", drive);
  } else if (letters.size() == 1) {
    list += Format("<option value=\"disk_info_%d_0.html\">Drive ", drive) + PageText(letters[0]) +
            "</option>";
  } else {
    for (std::size_t m = 0; m < letters.size(); ++m) {
      list +=
          Format(static_cast<int>(m) == shown ? "<option value=\"disk_info_%d_%zu.html\" selected>"
                                              : "<option value=\"disk_info_%d_%zu.html\">",
                 drive, m);
      list += "Drive " + PageText(letters[m]) + "</option>";
    }
  }
  return list + "</select>";
}

}  // namespace

std::string DiskFeatureTable(const std::array<std::uint16_t, 256>& words) {
  std::string table =
      "<table border=\"0\" align=\"left\" cellpadding=\"0\" cellspacing=\"0\"><tr>"
      "<td width=\"63\" align=\"center\"></td><td>"
      "<table border=\"0\" align=\"left\" cellpadding=\"0\" cellspacing=\"0\"><tr>";
  int listed = 0;
  for (const Feature& feature : kFeatures) {
    if (!Bit(words[feature.word], feature.bit))
      continue;
    table +=
        "<td width=\"310\" height=\"18\">"
        "<font style=\"font-size: 11px; font-family: Arial; color: #000000\">";
    table += feature.name;
    table += "</font></td>";
    table += ++listed % 2 == 1 ? "<td width=\"19\"></td>" : "</tr><tr>";
  }
  return table + "</tr></table></td><td width=\"63\" align=\"center\"></td></tr></table>";
}

std::string SataGenerationText(std::uint16_t word76) {
  if (Bit(word76, 3))
    return "SATA Gen3 (6.0Gb/s)";
  if (Bit(word76, 2))
    return "SATA Gen2 (3.0Gb/s)";
  if (Bit(word76, 1))
    return "SATA Gen1 (1.5Gb/s)";
  return "Unknown";
}

std::string AtaStandardText(std::uint16_t word80) {
  static constexpr const char* kNames[] = {"ATA4",     "ATA5",  "ATA6", "ATA7",
                                           "ATA8-ACS", "ACS-2", "ACS-3"};
  for (int bit = 10; bit >= 4; --bit) {
    if (Bit(word80, bit))
      return kNames[bit - 4];
  }
  return "Unknown";
}

std::vector<std::string> SplitDriveLetters(const std::string& driveLetters) {
  std::vector<std::string> letters;
  if (driveLetters.empty())
    return letters;
  std::string_view rest = driveLetters;
  while (static_cast<int>(letters.size()) < kMaxVolumesPerDrive) {
    std::size_t comma = rest.find(',');
    letters.emplace_back(TrimBoth(rest.substr(0, comma)));
    if (comma == std::string_view::npos)
      break;
    rest.remove_prefix(comma + 1);
  }
  return letters;
}

PageFields DiskInfoFields(const DiskInfoInput& input, int drive, int volume,
                          const std::string& temperatureC, const std::string& temperatureF) {
  const DriveRecord& record = input.drives[static_cast<std::size_t>(drive)];
  const std::vector<std::string> letters = SplitDriveLetters(record.driveLetters);

  std::string freeText = "0", usedText = "0", totalText = "0", percentText = "0";
  if (!letters.empty()) {
    std::uint64_t freeBytes = 0, totalBytes = 0;
    if (input.volumeSpace) {
      const std::string& letter = letters[static_cast<std::size_t>(volume)];
      if (!input.volumeSpace(letter, &freeBytes, &totalBytes))
        freeBytes = totalBytes = 0;
    }
    if (freeBytes > totalBytes)
      freeBytes = totalBytes;
    const std::uint64_t usedBytes = totalBytes - freeBytes;
    freeText = FormatGigabytes(static_cast<std::int64_t>(freeBytes)).value;
    usedText = FormatGigabytes(static_cast<std::int64_t>(usedBytes)).value;
    totalText = FormatGigabytes(static_cast<std::int64_t>(totalBytes)).value;
    // An unreadable volume reports no size: show 0 % rather than dividing by zero.
    percentText = Format(
        "%llu",
        totalBytes == 0 ? 0ULL : static_cast<unsigned long long>(usedBytes * 100 / totalBytes));
  }

  PageFields fields;
  fields.Add("STR_DISK_SEL", DriveSelection(input.drives, drive));
  fields.Add("STR_MODEL_NAME", PageText(record.model));
  fields.Add("STR_SN", PageText(record.serial));
  fields.Add("STR_FW", PageText(record.firmware));
  fields.Add("STR_TOTAL_LBA", Format("%llu", static_cast<unsigned long long>(record.sectorCount)));
  fields.Add("STR_DRIVE_SEL", VolumeSelection(drive, letters, volume));
  fields.Add("STR_DRIVE_FREE_SIZE", freeText);
  fields.Add("STR_UNIT_DRIVE_FREE_SIZE", "GB");
  fields.Add("STR_DRIVE_USED_SIZE", usedText);
  fields.Add("STR_UNIT_DRIVE_USED_SIZE", "GB");
  fields.Add("STR_DRIVE_TOTAL_SIZE", totalText);
  fields.Add("STR_UNIT_DRIVE_TOTAL_SIZE", "GB");
  fields.Add("STR_DRIVE_USED_PERCENTAGE", percentText);
  fields.Add("STR_C_DISK_DEGREE", temperatureC);
  fields.Add("STR_F_DISK_DEGREE", temperatureF);
  fields.Add("STR_SATA_TRANS_MODE", SataGenerationText(record.identifyWords[76]));
  fields.Add("STR_SATA_STANDARD", AtaStandardText(record.identifyWords[80]));
  fields.Add("STR_DISK_SUPPORT_FEATURE", DiskFeatureTable(record.identifyWords));
  fields.Add("STR_COOKIE_DISK_SEL", Format("disk_sel=%d", drive));
  return fields;
}

std::optional<std::string> BuildDiskInfoPage(const ProgramRoots& roots, const DiskInfoInput& input,
                                             std::string* message) {
  const std::string templatePath = PageTemplatePath(roots, kPageDiskInfo);
  if (input.drives.empty()) {
    SetMessage(message, "no ATA or SATA disk to show");
    return std::nullopt;
  }
  const int driveCount = static_cast<int>(input.drives.size());
  for (int i = 0; i < driveCount; ++i) {
    const DriveRecord& record = input.drives[static_cast<std::size_t>(i)];
    std::string celsius = "---", fahrenheit = "---";
    int value = 0;
    if (input.temperature && input.temperature(record.driveNumber, &value)) {
      celsius = Format("%d", value);
      fahrenheit = Format("%d", value * 9 / 5 + 32);
    }
    const int volumes =
        std::max<int>(1, static_cast<int>(SplitDriveLetters(record.driveLetters).size()));
    for (int k = 0; k < volumes; ++k) {
      const std::string output = roots.HomeData(Format("disk_info_%d_%d.html", i, k));
      if (!ExpandTemplateWide(templatePath, output,
                              DiskInfoFields(input, i, k, celsius, fahrenheit), message)) {
        return std::nullopt;
      }
    }
  }
  const int shown =
      input.selectedDisk >= 0 && input.selectedDisk < driveCount ? input.selectedDisk : 0;
  return Format("disk_info_%d_0.html", shown);
}

}  // namespace ds
