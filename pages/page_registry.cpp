#include "pages/page_registry.h"

#include <array>

namespace ds {
namespace {

constexpr std::array<ButtonLayout, kButtonCount> kButtons = {{
    {kButtonClose, 746, 0, 34, 34, "Close", 131, 154},
    {kButtonMinimize, 712, 0, 34, 34, "Minimize", 133, 153},
    {kButtonLicence, 678, 0, 34, 34, "End User License Agreement", 134, 152},
    {kButtonHome, 644, 0, 34, 34, "Home", 135, 151},
    {kButtonInternal, 610, 0, 34, 34, "N", 136, 150},
    {kTabDiskInfo, 268, 41, 100, 74, "Disk Information", 137, 145},
    {kTabHealth, 368, 41, 100, 74, "Health Status", 138, 146},
    {kTabSmart, 468, 41, 100, 74, "S.M.A.R.T.", 139, 147},
    {kTabTool, 568, 41, 100, 74, "TOOL", 140, 148},
    {kTabSystem, 668, 41, 100, 74, "System Information", 141, 149},
    {kButtonLogo, 682, 562, 99, 27, "Norvik", 142, 142},
}};

using C = ClickCondition;
using A = ClickAction;

// The two Health export rows share one rectangle and differ only by condition.
constexpr ClickRect kHealthClicks[] = {
    {472, 495, 314, 337, C::kAlways, A::kToggleHistoryRecording},
    {694, 716, 314, 337, C::kSeriesNotZero, A::kHealthExportUnsupported},
    {694, 716, 314, 337, C::kSeriesZero, A::kHealthExport},
};
constexpr ClickRect kSmartClicks[] = {
    {694, 716, 143, 166, C::kAlways, A::kSmartExport},
    {694, 716, 297, 320, C::kAlways, A::kIdentifyExport},
    // The self-test buttons in the band above the logs (SelfTestControls in smart_page.cpp).
    {322, 451, 448, 471, C::kSelfTestOffered, A::kSelfTestShort},
    {458, 607, 448, 471, C::kSelfTestOffered, A::kSelfTestExtended},
    {614, 713, 448, 471, C::kSelfTestRunning, A::kSelfTestAbort},
};
constexpr ClickRect kToolClicks[] = {
    {423, 447, 144, 166, C::kEditMode, A::kToggleAlert},
    {159, 177, 195, 214, C::kEditMode, A::kCelsius},
    {185, 202, 195, 214, C::kEditMode, A::kFahrenheit},
    {614, 638, 333, 356, C::kEditMode, A::kToggleSsl},
    {590, 650, 144, 166, C::kViewMode, A::kToolEdit},
    {660, 718, 144, 166, C::kEditMode, A::kToolSave},
    {626, 718, 411, 435, C::kEditMode, A::kMailTest},
    {658, 718, 485, 507, C::kNoErase, A::kSecureErase},
};

constexpr const char* kHomeTemplates[] = {"HomePage.tmp"};
constexpr const char* kDiskInfoTemplates[] = {"disk_info.tmp"};  // expanded as UTF-16
constexpr const char* kHealthTemplates[] = {"HealthPage.tmp"};
constexpr const char* kInternalTemplates[] = {"InternalPage.tmp"};
// The tab page (it shows both tables itself), then the attribute table and the IDENTIFY
// table as pages of their own.
constexpr const char* kSmartTemplates[] = {"SMARTPage.tmp", "SMARTInfo.tmp", "SMART_ID_Info.tmp"};
constexpr const char* kSystemTemplates[] = {"SystemPage.tmp"};
constexpr const char* kToolTemplates[] = {"ToolPage.tmp"};

constexpr unsigned kSeries = kStepSeries, kSmartDesc = kStepSmartDescriptions,
                   kRead = kStepReadDrive;
constexpr std::array<PageEntry, kPageCount> kPages = {{
    {kPageHome, 0, false, false, 0, {}, kHomeTemplates},
    {kPageInternal,
     kButtonInternal,
     true,
     true,
     kSeries | kSmartDesc | kRead,
     {},
     kInternalTemplates},
    {kPageDiskInfo, kTabDiskInfo, false, false, 0, {}, kDiskInfoTemplates},
    {kPageHealth, kTabHealth, true, true, kSeries | kRead, kHealthClicks, kHealthTemplates, true},
    {kPageSmart, kTabSmart, true, true, kSeries | kSmartDesc | kRead | kStepIdentifyDescriptions,
     kSmartClicks, kSmartTemplates},
    {kPageTool, kTabTool, true, true, 0, kToolClicks, kToolTemplates},
    {kPageSystem, kTabSystem, false, false, 0, {}, kSystemTemplates},
}};

constexpr bool InIdOrder() {
  for (int i = 0; i < kPageCount; ++i) {
    if (kPages[static_cast<std::size_t>(i)].id != i)
      return false;
  }
  for (int i = 0; i < kButtonCount; ++i) {
    if (kButtons[static_cast<std::size_t>(i)].id != kFirstButton + i)
      return false;
  }
  return true;
}
static_assert(InIdOrder(), "pages and buttons are listed in id order");

}  // namespace

std::span<const ButtonLayout> WindowButtons() {
  return kButtons;
}

std::span<const PageEntry> Pages() {
  return kPages;
}

const PageEntry* FindPage(int id) {
  if (id < 0 || id >= kPageCount)
    return nullptr;
  return &kPages[static_cast<std::size_t>(id)];
}

const PageEntry* FindPageOfButton(int buttonId) {
  for (const PageEntry& page : kPages) {
    if (page.button != 0 && page.button == buttonId)
      return &page;
  }
  return nullptr;
}

std::string PageTemplatePath(const ProgramRoots& roots, int page, std::size_t index) {
  const PageEntry* entry = FindPage(page);
  if (entry == nullptr || index >= entry->templates.size())
    return {};
  return roots.InstallData(std::string("template/") + entry->templates[index]);
}

}  // namespace ds
