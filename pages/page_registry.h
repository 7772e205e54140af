#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "platform/program_roots.h"

// The page registry: the one table of the window's buttons and report pages. Each page row
// names its id, the button that opens it, how its tab action runs, the templates its builder
// expands and the rectangles of the page where a left click runs a program action. The window
// (web/), the shell (which gets the buttons from the server), the builders in pages/ and the
// dialog (app/) all read it.
// To add a page: write its template (data/template/) and its builder (pages/), add one row to
// kPages in page_registry.cpp and one entry to the builder table in app/report_pages.cpp.
namespace ds {

// Button control ids of the main window.
inline constexpr int kButtonClose = 1000;
inline constexpr int kButtonMinimize = 1001;
inline constexpr int kButtonLicence = 1002;
inline constexpr int kButtonHome = 1003;
inline constexpr int kButtonInternal = 1004;
inline constexpr int kTabDiskInfo = 1005;
inline constexpr int kTabHealth = 1006;
inline constexpr int kTabSmart = 1007;
inline constexpr int kTabTool = 1008;
inline constexpr int kTabSystem = 1009;
inline constexpr int kButtonLogo = 1010;
inline constexpr int kFirstButton = kButtonClose;
inline constexpr int kLastButton = kButtonLogo;
inline constexpr int kButtonCount = kLastButton - kFirstButton + 1;

// Page ids held in currentPage.
inline constexpr int kPageHome = 0;
inline constexpr int kPageInternal = 1;
inline constexpr int kPageDiskInfo = 2;
inline constexpr int kPageHealth = 3;
inline constexpr int kPageSmart = 4;
inline constexpr int kPageTool = 5;
inline constexpr int kPageSystem = 6;
inline constexpr int kPageCount = 7;

// Where the report page's browser sits in the window, and the program icon of the skin
// (a click there opens the window's system menu), in window pixels.
inline constexpr int kBrowserLeft = 22;
inline constexpr int kBrowserTop = 117;
struct WindowRect {
  int left;
  int top;
  int width;
  int height;
};
inline constexpr WindowRect kProgramIcon = {22, 22, 40, 40};

// Geometry and tooltip of one skinned button, in window pixels.
struct ButtonLayout {
  int id;
  int left;
  int top;
  int width;
  int height;
  const char* tooltip;
  int normalImage;  // image resource number of the normal state
  int hoverImage;   // image resource number of the hover state
};

// All buttons of the window, in id order.
std::span<const ButtonLayout> WindowButtons();

enum class ClickAction {
  kNone,
  kToggleHistoryRecording,   // Health: flip active_rec, then rebuild the Health page
  kHealthExportUnsupported,  // Health export on a drive of another series, no endurance history
  kHealthExport,             // Health export: Save-As "health.xls"
  kSmartExport,              // S.M.A.R.T.: Save-As of data/SMART.xls
  kIdentifyExport,           // S.M.A.R.T.: Save-As of data/Identify.xls
  kToggleAlert,              // TOOL: flip EnableAlert and save
  kCelsius,                  // TOOL: TemperatureType 0, save, rebuild
  kFahrenheit,               // TOOL: TemperatureType 1, save, rebuild
  kToggleSsl,                // TOOL: flip EnableSSL
  kToolEdit,                 // TOOL: enter edit mode
  kToolSave,                 // TOOL: leave edit mode and start the save worker
  kMailTest,                 // TOOL: start the mail test worker
  kSecureErase,              // TOOL: ask, then start the security erase
  kSelfTestShort,            // S.M.A.R.T.: start a short off-line self-test
  kSelfTestExtended,         // S.M.A.R.T.: ask, then start an extended off-line self-test
  kSelfTestAbort,            // S.M.A.R.T.: abort the running self-test
};

// When a click rectangle is live. kSeriesZero: the maker's series 0, or a disk with an
// endurance history; kSeriesNotZero: neither. kSelfTestOffered: the snapshot says the disk
// runs self-tests and none runs; kSelfTestRunning: one runs.
enum class ClickCondition {
  kAlways,
  kSeriesNotZero,
  kSeriesZero,
  kEditMode,
  kViewMode,
  kNoErase,
  kSelfTestOffered,
  kSelfTestRunning,
};

// A rectangle of a report page in window pixels, bounds inclusive.
struct ClickRect {
  int left, right;
  int top, bottom;
  ClickCondition condition;
  ClickAction action;
};

// Disk and description steps a page needs before it is built, in this order.
inline constexpr unsigned kStepSeries = 1, kStepSmartDescriptions = 2, kStepReadDrive = 4,
                          kStepIdentifyDescriptions = 8;

struct PageEntry {
  int id;
  int button;      // the button that opens the page; 0 for Home, which has its own action
  bool pollFirst;  // false: the page inputs are taken in after the buttons are set
  bool needsMakersDisk;
  unsigned steps;                     // kStep* bits
  std::span<const ClickRect> clicks;  // tried in order; the first that contains the point decides
  // File names in data/template/ that the builder expands, the page itself first.
  std::span<const char* const> templates;
  // With needsMakersDisk: another disk may open the page too when its own health figure is
  // known (its endurance indicator, HealthSourceOf).
  bool healthFiguresSuffice = false;
};

// All pages, in id order.
std::span<const PageEntry> Pages();
// The row of a page id, or of the button that opens a page; nullptr when there is none.
const PageEntry* FindPage(int id);
const PageEntry* FindPageOfButton(int buttonId);
// The install path of template `index` of a page's row.
std::string PageTemplatePath(const ProgramRoots& roots, int page, std::size_t index = 0);

}  // namespace ds
