#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The description tables delivered in the data folder: the S.M.A.R.T. attribute table
// (which ids are shown at all, and their names) and the IDENTIFY item descriptions.
namespace ds {

struct AttributeDescription {
  std::uint8_t id = 0;
  std::string desc;
};

// "SMART.dat", or "SMART2.dat" for disks of model series 1 and 2, in file order.
using AttributeTable = std::vector<AttributeDescription>;

// `folder` is the program folder with a trailing "/" ("" means the executable's folder).
// Fill the table from home + "data/..." and return true when the file was found, false
// otherwise (the table is then empty).
// What to tell when LoadAttributeTable finds no file: only described attributes are listed.
inline constexpr const char* kNoAttributeDescriptions =
    "the attribute descriptions (data/SMART.dat) are missing: no attribute is listed";
[[nodiscard]] bool LoadAttributeTable(AttributeTable& table, const std::string& folder,
                                      int modelSeries);
[[nodiscard]] bool LoadIdentifyTable(std::vector<std::string>& identifyDesc,
                                     const std::string& folder);

}  // namespace ds
