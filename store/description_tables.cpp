#include "store/description_tables.h"

#include <cstdlib>

#include "platform/file_system.h"
#include "text/ini_file_reader.h"
#include "text/leading_integer.h"

namespace ds {
namespace {

// Upper bound on the entry count a table may claim, so a corrupt count cannot make the
// loader spin through billions of look-ups.
constexpr int kMaxTableEntries = 4096;

std::string BaseFolder(const std::string& folder) {
  return folder.empty() ? ExeDirectory() : folder;
}

int ClampedCount(const std::string& text) {
  int count = LeadingInteger(text);
  if (count < 0)
    return -1;
  return count > kMaxTableEntries ? kMaxTableEntries : count;
}

// Attribute ids are base 10, or base 16 when the text holds an "x" ("0xC2").
unsigned long ParseAttributeId(const std::string& text) {
  bool hex = text.find_first_of("xX") != std::string::npos;
  return std::strtoul(text.c_str(), nullptr, hex ? 16 : 10);
}

}  // namespace

bool LoadAttributeTable(AttributeTable& table, const std::string& folder, int modelSeries) {
  table.clear();
  const bool secondTable = modelSeries == 1 || modelSeries == 2;
  const std::string path =
      BaseFolder(folder) + "data/" + (secondTable ? "SMART2.dat" : "SMART.dat");
  if (!FileExists(path))
    return false;
  IniFileReader reader = ReadKeyValueFile(path);
  const int count = ClampedCount(reader.lookup("attribute_amount"));
  for (int i = 0; i <= count; ++i) {
    const std::string index = std::to_string(i);
    std::string id = reader.lookup("Attribute_ID_" + index);
    std::string desc = reader.lookup("Attribute_ID_Desc_" + index);
    if (id.empty() || desc.empty())
      continue;
    table.push_back({static_cast<std::uint8_t>(ParseAttributeId(id) & 0xFF), std::move(desc)});
  }
  reader.close();
  return true;
}

bool LoadIdentifyTable(std::vector<std::string>& identifyDesc, const std::string& folder) {
  identifyDesc.clear();
  const std::string path = BaseFolder(folder) + "data/Identify.dat";
  if (!FileExists(path))
    return false;
  IniFileReader reader = ReadKeyValueFile(path);
  const int count = ClampedCount(reader.lookup("Word_Desc_Amount"));
  for (int i = 0; i <= count; ++i) {
    std::string desc = reader.lookup("Word_Desc_" + std::to_string(i));
    if (!desc.empty())
      identifyDesc.push_back(std::move(desc));
  }
  reader.close();
  return true;
}

}  // namespace ds
