#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>
#include "platform/atomic_output_file.h"

// The IDENTIFY table of the S.M.A.R.T. page: one item per IDENTIFY field with its
// description and value, and under selected fields one line per set bit in the wording of
// the ATA command set. The same items go into "Identify.xls".
namespace ds {

struct IdentifyTableInput {
  std::array<std::uint16_t, 256> identifyWords{};
  std::string model;  // as the drive record holds them
  std::string serial;
  std::string firmware;
  std::vector<std::string> identifyDesc;  // item k uses identifyDesc[k]
};

// One table line: an item (description and value) or a decode line (empty description).
struct IdentifyLine {
  std::string description;
  std::string value;
  bool detail = false;  // a decode line under the item before it
};

// The value of item `item` ("0x..." of its words, a text, "@" or "").
std::string IdentifyItemValue(const IdentifyTableInput& input, int item);

// The decode lines shown under item `item`, in order.
std::vector<std::string> IdentifyDecodeLines(const std::array<std::uint16_t, 256>& words, int item);

// Every line of the table in order: each item followed by its decode lines.
std::vector<IdentifyLine> IdentifyTableLines(const IdentifyTableInput& input);

// The HTML rows of the table (texts escaped).
std::string IdentifyTableRows(const std::vector<IdentifyLine>& lines);

// Writes the workbook: sheet "Identify", header "Item"/"Description", item rows in columns
// 0 and 1, decode lines in column 1. False when it cannot be written.
bool WriteIdentifyWorkbook(const std::vector<IdentifyLine>& lines, const std::string& path,
                           std::string* message, const OutputOptions& options = {});

}  // namespace ds
