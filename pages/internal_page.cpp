#include "pages/internal_page.h"

#include <cstdio>

#include "pages/page_format.h"
#include "pages/page_registry.h"
#include "platform/file_system.h"

namespace ds {
namespace {

constexpr const char* kNotAvailable = "---";
constexpr const char* kWarningIcon = "<img src=\"./images/icon_warning.png\">";

// Sectors per GiB (2 × 1024 × 1024) times the 5 of the TBW rule.
constexpr std::uint64_t kTbwDivisor = 5ull * 2 * 1024 * 1024;

constexpr std::uint64_t kBlockClassBounds[] = {64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384};

std::string Unsigned(std::uint64_t value) {
  return Format("%llu", static_cast<unsigned long long>(value));
}

}  // namespace

TbwText FormatTbw(std::uint64_t sectors, int limit) {
  if (limit <= 0)
    return {kNotAvailable, ""};
  // S × L / 5 / 2 / 1024 / 1024 with every division truncating is floor(S × L / divisor);
  // split S so that the product cannot overflow 64 bits.
  const std::uint64_t l = static_cast<std::uint64_t>(limit);
  const std::uint64_t t = sectors / kTbwDivisor * l + sectors % kTbwDivisor * l / kTbwDivisor;
  if (t < 1024)
    return {Format("%lld", static_cast<long long>(t)), "GB"};
  return {Format("%6.2f", static_cast<double>(t) * 0.0009765625), "TB"};
}

std::string BlockCountClass(std::uint64_t sectors, std::uint32_t vendorFigure) {
  if (vendorFigure == 0 || sectors <= vendorFigure)
    return "Unknown";
  const std::uint64_t q = sectors / vendorFigure;
  for (std::uint64_t bound : kBlockClassBounds) {
    if (q < bound)
      return Unsigned(bound);
  }
  return "32768";
}

EraseColour EraseCountColour(std::uint64_t eraseCount, int limit) {
  if (limit <= 0)
    return {"", ""};
  const std::uint64_t l = static_cast<std::uint64_t>(limit);
  // Any count at or past the limit leaves nothing; capping it keeps E × 100 in range.
  const std::uint64_t e = eraseCount < l ? eraseCount : l;
  const std::int64_t remaining = 100 - static_cast<std::int64_t>(e * 100 / l);
  if (remaining > 40)
    return {"#03508D", ""};
  if (remaining > 20)
    return {"#5FA1CE", ""};
  return {"#C12000", kWarningIcon};
}

PageFields InternalPageFields(const InternalPageInput& input, std::uint32_t vendorFigure) {
  // Only the maker's series-0 disks report these figures; the others show "---".
  const bool shown = input.modelSeries == 0;
  const auto figure = [shown](std::string text) { return shown ? text : kNotAvailable; };
  const TbwText tbw = FormatTbw(input.sectorCount, input.peCycleLimit);
  const EraseColour colour =
      shown ? EraseCountColour(input.attr167Raw, input.peCycleLimit) : EraseColour{};

  PageFields fields;
  fields.Add("STR_TBW", figure(tbw.value));
  fields.Add("STR_UNIT_TBW", shown ? tbw.unit : "");
  fields.Add("STR_ERASE_COUNT", figure(Unsigned(input.attr167Raw)));
  fields.Add("STR_LIMIT_ERASE_COUNT", figure(Format("%d", input.peCycleLimit)));
  fields.Add("STR_LATER_BAD_BLOCK", figure(Unsigned(input.reallocatedRaw)));
  fields.Add("STR_SPARE_BLOCK", figure(Unsigned(input.attr161Raw)));
  fields.Add("STR_EARLY_BAD_BLOCK", figure(Unsigned(input.attr163Raw)));
  fields.Add("STR_TOTAL_BLOCK", figure(BlockCountClass(input.sectorCount, vendorFigure)));
  fields.Add("STR_COLOR_ERASE_COUNT", colour.colour);
  fields.Add("STR_WARNING_ERASE_COUNT", colour.warning);
  return fields;
}

std::optional<std::string> BuildInternalPage(const ProgramRoots& roots,
                                             const InternalPageInput& input, std::string* message) {
  message->clear();
  const std::string output = roots.HomeData(kInternalPageFile);
  std::remove(output.c_str());
  const std::string templatePath = PageTemplatePath(roots, kPageInternal);
  if (input.driveCount <= 0 || !FileExists(templatePath))
    return std::nullopt;
  if (!ExpandTemplate(templatePath, output, InternalPageFields(input, input.vendorFigure), message))
    return std::nullopt;
  return std::string(kInternalPageFile);
}

}  // namespace ds
