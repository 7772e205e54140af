#include "pages/identify_table.h"

#include "pages/page_format.h"
#include "sheet/xls_workbook.h"
#include "text/html_escape.h"
#include "text/ini_file_reader.h"

namespace ds {
namespace {

// The IDENTIFY words of each item, first and last word; a negative first word marks a
// text item (see IdentifyItemValue). Items past the list have an empty value.
struct ItemWords {
  int first;
  int last;
};
constexpr int kSerialText = -1, kFirmwareText = -2, kModelText = -3, kVendorText = -4, kAt = -5;

std::vector<ItemWords> BuildItemWords() {
  std::vector<ItemWords> items = {
      {0, 0},          {1, 1},   {2, 2},           {3, 3},   {4, 5},   {6, 6},
      {7, 8},          {9, 9},   {kSerialText, 0}, {20, 21}, {22, 22}, {kFirmwareText, 0},
      {kModelText, 0}, {47, 47}, {48, 48},         {49, 49}, {50, 50}, {51, 52},
      {53, 53},        {54, 58}, {59, 59},         {60, 61}};
  for (int w = 62; w <= 69; ++w)
    items.push_back({w, w});  // items 22-29
  items.push_back({70, 74});  // 30
  for (int w = 75; w <= 97; ++w)
    items.push_back({w, w});  // 31-53
  items.insert(
      items.end(),
      {{98, 99},   {100, 103},       {104, 104}, {105, 105}, {106, 106}, {107, 107}, {108, 111},
       {112, 115}, {116, 116},       {117, 118}, {119, 119}, {120, 120}, {121, 126}, {127, 127},
       {128, 128}, {kVendorText, 0}, {160, 167}, {168, 168}, {169, 169}, {170, 173}, {174, 175},
       {kAt, 0},   {206, 206},       {207, 208}, {209, 209}, {210, 211}, {212, 213}, {214, 216}});
  for (int w = 217; w <= 223; ++w)
    items.push_back({w, w});  // 82-88
  items.insert(items.end(), {{224, 229}, {230, 233}, {234, 234}, {235, 235}, {kAt, 0}, {255, 255}});
  return items;
}

const std::vector<ItemWords>& ItemTable() {
  static const std::vector<ItemWords> table = BuildItemWords();
  return table;
}

bool Bit(std::uint16_t word, int bit) {
  return (word >> bit) & 1;
}

// Words 129-159 as bytes in stored order (low byte first), up to the first zero byte.
std::string VendorText(const std::array<std::uint16_t, 256>& words) {
  std::string text;
  for (int w = 129; w <= 159; ++w) {
    for (int shift : {0, 8}) {
      char c = static_cast<char>((words[w] >> shift) & 0xFF);
      if (c == '\0')
        return text;
      text += c;
    }
  }
  return text;
}

// One line of the decode table: shown when `bit` of the item's word is set (or, with
// `elseText`, that text when it is clear).
struct BitLine {
  int bit;
  const char* text;
  const char* elseText = nullptr;
};

struct ItemDecode {
  int item;
  int word;
  std::vector<BitLine> lines;
};

const std::vector<ItemDecode>& DecodeTable() {
  static const std::vector<ItemDecode> table = {
      {15,
       49,
       {{13, "Standby timer values as specified in this standard are supported",
         "Standby timer values shall be vendor specific"},
        {11, "IORDY (see ATA8-APT) supported", "IORDY (see ATA8-APT) may be supported"},
        {10, "IORDY (see ATA8-APT) may be disabled"},
        {9, "LBA is supported"},
        {8, "DMA is supported"}}},
      {16,
       50,
       {{0, "There is a minimum Standby time value and it is vendor specific",
         "There is no minimum Standby timer value"}}},
      {18,
       53,
       {{2, "The fields reported in word 88 are valid"},
        {1, "The fields reported in words 64..70 are valid"}}},
      {20, 59, {{8, "Multiple logical sector setting is valid"}}},
      {23,
       63,
       {{10, "Multiword DMA mode 2 is selected"},
        {9, "Multiword DMA mode 1 is selected"},
        {8, "Multiword DMA mode 0 is selected"},
        {2, "Multiword DMA mode 2 and below are supported"},
        {1, "Multiword DMA mode 1 and below are supported"},
        {0, "Multiword DMA mode 0 is supported"}}},
      {24, 64, {{1, "PIO mode 4 supported"}, {0, "PIO mode 3 supported"}}},
      {29,
       69,
       {{14, "Deterministic data in trimmed LBA range(s) is supported"},
        {11, "READ BUFFER DMA is supported"},
        {10, "WRITE BUFFER DMA is supported"},
        {8, "DOWNLOAD MICROCODE DMA is supported"},
        {6, "ATA device 28-bit commands supported"},
        {5, "Trimmed LBA range(s) returning zeroed data is supported"},
        {4, "Device Encrypts All User Data on the device"},
        {3, "Extended Number of User Addressable Sectors is supported"},
        {2, "All write cache is non-volatile"}}},
      {32,
       76,
       {{15, "Supports READ LOG DMA EXT as equivalent to READ LOG EXT"},
        {14, "Supports Device Automatic Partial to Slumber transitions"},
        {13, "Supports Host Automatic Partial to Slumber transitions"},
        {12, "Supports NCQ priority information"},
        {11, "Supports Unload while NCQ commands are outstanding"},
        {10, "Supports the SATA Phy Event Counters log"},
        {9, "Supports receipt of host initiated power management requests"},
        {8, "Supports the NCQ feature set"},
        {3, "Supports SATA Gen3 Signaling Speed (6.0Gb/s)"},
        {2, "Supports SATA Gen2 Signaling Speed (3.0Gb/s)"},
        {1, "Supports SATA Gen1 Signaling Speed (1.5Gb/s)"}}},
      {33,
       77,
       {{6, "Supports RECEIVE FPDMA QUEUED and SEND FPDMA QUEUED commands"},
        {5, "Supports NCQ Queue Management Command"},
        {4, "Supports NCQ Streaming"}}},
      {34,
       78,
       {{7, "Device supports NCQ Autosense"},
        {6, "Device supports Software Settings Preservation"},
        {5, "Device supports Hardware Feature Control"},
        {4, "Device supports in-order data delivery"},
        {3, "Device supports initiating power management"},
        {2, "Device supports DMA Setup auto-activation"},
        {1, "Device supports non-zero buffer offsets"}}},
      {35,
       79,
       {{7, "Automatic Partial to Slumber transitions enabled"},
        {6, "Software Settings Preservation enabled"},
        {5, "Hardware Feature Control is enabled"},
        {4, "In-order data delivery enabled"},
        {3, "Device initiated power management enabled"},
        {2, "DMA Setup auto-activation enabled"},
        {1, "Non-zero buffer offsets enabled"}}},
      // Word 80 holds the major versions at bits 10 (ACS-3) down to 5 (ATA/ATAPI-5).
      {36,
       80,
       {{10, "Supports ACS-3"},
        {9, "Supports ACS-2"},
        {8, "Supports ATA8-ACS"},
        {7, "Supports ATA/ATAPI-7"},
        {6, "Supports ATA/ATAPI-6"},
        {5, "Supports ATA/ATAPI-5"}}},
      {38,
       82,
       {{14, "The NOP command is supported"},
        {13, "The READ BUFFER command is supported"},
        {12, "The WRITE BUFFER command is supported"},
        {6, "Read look-ahead is supported"},
        {5, "The volatile write cache is supported"},
        {1, "The Security feature set is supported"},
        {0, "The SMART feature set is supported"}}},
      {39,
       83,
       {{13, "The FLUSH CACHE EXT command is supported"},
        {10, "The 48-bit Address feature set is supported"},
        {6, "SET FEATURES subcommand is required to spin-up after power-up"},
        {5, "The PUIS feature set is supported"},
        {3, "The APM feature set is supported"},
        {0, "The DOWNLOAD MICROCODE command is supported"}}},
      {40,
       84,
       {{13, "The IDLE IMMEDIATE command with UNLOAD feature is supported"},
        {6, "The WRITE DMA FUA EXT command and WRITE MULTIPLE FUA EXT command are supported"},
        {5, "The GPL feature set is supported"},
        {4, "The Streaming feature set is supported"},
        {1, "The SMART self-test is supported"},
        {0, "SMART error logging is supported"}}},
      {41,
       85,
       {{14, "The NOP command is supported"},
        {13, "The READ BUFFER command is supported"},
        {12, "The WRITE BUFFER command is supported"},
        {6, "Read look-ahead is enabled"},
        {5, "The volatile write cache is enabled"},
        {1, "The Security feature set is enabled"},
        {0, "The SMART feature set is enabled"}}},
      // Word 86 mirrors word 83: spin-up at bit 6, PUIS enabled at bit 5.
      {42,
       86,
       {{13, "FLUSH CACHE EXT command supported"},
        {12, "FLUSH CACHE command supported"},
        {10, "The 48-bit Address features set is supported"},
        {6, "SET FEATURES subcommand is required to spin-up after power-up"},
        {5, "The PUIS feature set is enabled"},
        {3, "The APM feature set is enabled"},
        {0, "The DOWNLOAD MICROCODE command is supported"}}},
      {43,
       87,
       {{13, "The IDLE IMMEDIATE command with UNLOAD FEATURE is supported"},
        {6, "The WRITE DMA FUA EXT command and WRITE MULTIPLE FUA EXT command are supported"},
        {5, "The GPL feature set is supported"},
        {2, "Media serial number is valid"},
        {1, "SMART self-test supported"},
        {0, "SMART error logging is supported"}}},
      {44,
       88,
       {{14, "Ultra DMA mode 6 is selected"},
        {13, "Ultra DMA mode 5 is selected"},
        {12, "Ultra DMA mode 4 is selected"},
        {11, "Ultra DMA mode 3 is selected"},
        {10, "Ultra DMA mode 2 is selected"},
        {9, "Ultra DMA mode 1 is selected"},
        {8, "Ultra DMA mode 0 is selected"},
        {6, "Ultra DMA mode 6 and below are supported"},
        {5, "Ultra DMA mode 5 and below are supported"},
        {4, "Ultra DMA mode 4 and below are supported"},
        {3, "Ultra DMA mode 3 and below are supported"},
        {2, "Ultra DMA mode 2 and below are supported"},
        {1, "Ultra DMA mode 1 and below are supported"},
        {0, "Ultra DMA mode 0 is supported"}}},
      {68,
       128,
       {{8, "Master Password Capability: Maximum", "Master Password Capability: High"},
        {5, "Enhanced security erase supported"},
        {4, "Security count expired"},
        {3, "Security frozen"},
        {2, "Security locked"},
        {1, "Security enabled"},
        {0, "Security supported"}}},
      {72, 169, {{0, "The TRIM bit in the DATA SET MANAGEMENT command is supported"}}},
      {76,
       206,
       {{5, "The SCT Data Tables command is supported"},
        {4, "The SCT Feature Control command is supported"},
        {3, "The SCT Error Recovery Control command is supported"},
        {2, "The SCT Write Same command is supported"},
        {0, "The SCT Command Transport is supported"}}},
      {87,
       222,
       {{12, "Transport Type: Serial", "Transport Type: Parallel"},
        {6, "SATA 3.1"},
        {5, "SATA 3.0"},
        {4, "SATA 2.6"},
        {3, "SATA 2.5"},
        {2, "SATA II: Extensions"},
        {1, "SATA 1.0a"},
        {0, "ATA8-AST"}}},
  };
  return table;
}

const char* const kSeparator =
    "<tr><td colspan=\"2\" height=\"2\"></td></tr>"
    "<tr><td colspan=\"2\" height=\"1\" bgcolor=\"#DFDFDF\"></td></tr>"
    "<tr><td colspan=\"2\" height=\"2\"></td></tr>";

}  // namespace

std::string IdentifyItemValue(const IdentifyTableInput& input, int item) {
  const std::vector<ItemWords>& items = ItemTable();
  if (item < 0 || item >= static_cast<int>(items.size()))
    return {};
  const ItemWords field = items[static_cast<std::size_t>(item)];
  switch (field.first) {
    case kSerialText:
      return input.serial;
    case kFirmwareText:
      return input.firmware;
    case kModelText:
      return input.model;
    case kVendorText:
      return VendorText(input.identifyWords);
    case kAt:
      return "@";
    default:
      break;
  }
  std::string value = "0x";
  for (int w = field.last; w >= field.first; --w)
    value += Format("%04X", input.identifyWords[w]);
  return value;
}

std::vector<std::string> IdentifyDecodeLines(const std::array<std::uint16_t, 256>& words,
                                             int item) {
  std::vector<std::string> lines;
  // Lines that always show, with a number taken from the word.
  switch (item) {
    case 13:
      lines.push_back(
          Format("Maximum number of logical sectors that shall be transferred per "
                 "DRQ data block: %d",
                 words[47] & 0xFF));
      return lines;
    case 31:
      lines.push_back(Format("Maximum queue depth: %d", (words[75] & 0x1F) + 1));
      return lines;
    case 94:
      lines.push_back(Format("Checksum: 0x%02X", words[255] >> 8));
      lines.push_back(Format("Checksum Validity Indicator: 0x%02X", words[255] & 0xFF));
      return lines;
    default:
      break;
  }
  for (const ItemDecode& decode : DecodeTable()) {
    if (decode.item != item)
      continue;
    const std::uint16_t word = words[decode.word];
    for (const BitLine& line : decode.lines) {
      if (Bit(word, line.bit)) {
        lines.emplace_back(line.text);
      } else if (line.elseText) {
        lines.emplace_back(line.elseText);
      }
    }
  }
  if (item == 20) {
    lines.push_back(
        Format("Current setting for number of logical sectors that shall be "
               "transferred per DRQ data block: %d",
               words[59] & 0xFF));
  } else if (item == 33) {
    lines.push_back(Format("Coded value indicating current negotiated Serial ATA signal speed: %d",
                           (words[77] >> 1) & 0x7));
  }
  return lines;
}

std::vector<IdentifyLine> IdentifyTableLines(const IdentifyTableInput& input) {
  std::vector<IdentifyLine> lines;
  for (std::size_t k = 0; k < input.identifyDesc.size(); ++k) {
    const int item = static_cast<int>(k);
    lines.push_back({input.identifyDesc[k], IdentifyItemValue(input, item), false});
    for (std::string& text : IdentifyDecodeLines(input.identifyWords, item)) {
      lines.push_back({"", std::move(text), true});
    }
  }
  return lines;
}

std::string IdentifyTableRows(const std::vector<IdentifyLine>& lines) {
  std::string rows;
  for (const IdentifyLine& line : lines) {
    rows +=
        "<tr><td valign=\"top\"><font style=\"font-size: 10px; font-family: Arial; color: "
        "#03508D\">";
    rows += HtmlEscape(line.description);
    rows +=
        "</font></td><td valign=\"top\"><font style=\"font-size: 10px; font-family: Arial; "
        "color: #010000\">";
    rows += HtmlEscape(line.value);
    rows += "</font></td></tr>";
    rows += kSeparator;
  }
  return rows;
}

bool WriteIdentifyWorkbook(const std::vector<IdentifyLine>& lines, const std::string& path,
                           std::string* message, const OutputOptions& options) {
  XlsWorkbook book;
  book.New(1);
  book.RenameSheet("Sheet1", "Identify");
  XlsSheet* sheet = book.GetSheet("Identify");
  sheet->Cell(0, 0)->SetText("Item");
  sheet->Cell(0, 1)->SetText("Description");
  int row = 1;
  for (const IdentifyLine& line : lines) {
    if (!line.detail)
      sheet->Cell(row, 0)->SetText(line.description);
    sheet->Cell(row, 1)->SetText(line.value);
    ++row;
  }
  bool saved = book.SaveAs(path, message, options);
  book.Close();
  return saved;
}

}  // namespace ds
