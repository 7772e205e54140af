#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "pages/template_expander.h"
#include "platform/program_roots.h"

// The Internal page, the maker's service view of the selected disk: erase count against its
// limit, the bad-block and spare-block counters, the block-count class from the controller's
// vendor page and the rated total bytes written (TBW), from the template in its registry row.
namespace ds {

// The TBW of a disk of `sectors` 512-byte sectors rated for `limit` erase cycles: its
// capacity in GiB times the limit divided by 5, as "%lld" GB below 1024, else "%6.2f" TB.
// "---" and no unit for a limit of 0 or below.
struct TbwText {
  std::string value;
  std::string unit;
};
TbwText FormatTbw(std::uint64_t sectors, int limit);

// "Unknown" when the vendor figure V is 0 or not below the sector count S; otherwise the
// smallest power of two from 64 to 16384 that S / V lies strictly below, else "32768".
std::string BlockCountClass(std::uint64_t sectors, std::uint32_t vendorFigure);

// The erase-count colour by the remaining percent p = 100 - E * 100 / L: above 40 blue,
// 21-40 light blue, 20 or less red with the warning icon. Both empty for a limit of 0 or
// below.
struct EraseColour {
  std::string colour;
  std::string warning;  // the warning icon's markup or ""
};
EraseColour EraseCountColour(std::uint64_t eraseCount, int limit);

// Everything an Internal page build reads.
struct InternalPageInput {
  int driveCount = 0;
  std::uint64_t sectorCount = 0;  // S of the selected disk
  std::uint64_t attr167Raw = 0;   // erase count E
  std::uint64_t reallocatedRaw = 0;
  std::uint64_t attr161Raw = 0;
  std::uint64_t attr163Raw = 0;
  int modelSeries = 99;
  int peCycleLimit = 3000;         // L
  std::uint32_t vendorFigure = 0;  // V, read by the caller; 0 when not read
};

inline constexpr const char* kInternalPageFile = "InternalPage.html";

// The 10 fields of the page, in replacement order, for a vendor figure already read.
PageFields InternalPageFields(const InternalPageInput& input, std::uint32_t vendorFigure);

// Deletes the previous page; without a drive or a template stops there (nullopt, `message`
// empty). Otherwise writes data/InternalPage.html into the home folder; returns its file
// name, or nullopt with `message` set when it could not be written.
[[nodiscard]] std::optional<std::string> BuildInternalPage(const ProgramRoots& roots,
                                                           const InternalPageInput& input,
                                                           std::string* message);

}  // namespace ds
