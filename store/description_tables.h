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
// Fill the table from home + "data/..." and return 1 when the file was found, 0 otherwise
// (the table is then empty).
int LoadAttributeTable(AttributeTable& table, const std::string& folder, int modelSeries);
int LoadIdentifyTable(std::vector<std::string>& identifyDesc, const std::string& folder);

}  // namespace ds
