#include "app/click_map.h"

#include <array>

#include "web/window_look.h"

namespace ds {
namespace {

enum class Condition { kAlways, kSeriesNotZero, kSeriesZero, kEditMode, kViewMode, kNoErase };

struct ClickRect {
  int page;
  int left, right;  // inclusive
  int top, bottom;  // inclusive
  Condition condition;
  ClickAction action;
};

// In the order they are tried; the first rectangle that contains the point decides.
constexpr std::array<ClickRect, 13> kRects = {{
    {kPageHealth, 472, 495, 314, 337, Condition::kAlways, ClickAction::kToggleHistoryRecording},
    {kPageHealth, 694, 716, 314, 337, Condition::kSeriesNotZero,
     ClickAction::kHealthExportUnsupported},
    {kPageHealth, 694, 716, 314, 337, Condition::kSeriesZero, ClickAction::kHealthExport},
    {kPageSmart, 694, 716, 143, 166, Condition::kAlways, ClickAction::kSmartExport},
    {kPageSmart, 694, 716, 345, 369, Condition::kAlways, ClickAction::kIdentifyExport},
    {kPageTool, 423, 447, 144, 166, Condition::kEditMode, ClickAction::kToggleAlert},
    {kPageTool, 159, 177, 195, 214, Condition::kEditMode, ClickAction::kCelsius},
    {kPageTool, 185, 202, 195, 214, Condition::kEditMode, ClickAction::kFahrenheit},
    {kPageTool, 614, 638, 333, 356, Condition::kEditMode, ClickAction::kToggleSsl},
    {kPageTool, 590, 650, 144, 166, Condition::kViewMode, ClickAction::kToolEdit},
    {kPageTool, 660, 718, 144, 166, Condition::kEditMode, ClickAction::kToolSave},
    {kPageTool, 626, 718, 411, 435, Condition::kEditMode, ClickAction::kMailTest},
    {kPageTool, 658, 718, 485, 507, Condition::kNoErase, ClickAction::kSecureErase},
}};

bool Holds(Condition condition, const ClickState& state) {
  switch (condition) {
    case Condition::kAlways:
      return true;
    case Condition::kSeriesNotZero:
      return state.modelSeries != 0;
    case Condition::kSeriesZero:
      return state.modelSeries == 0;
    case Condition::kEditMode:
      return state.toolEditMode == 1;
    case Condition::kViewMode:
      return state.toolEditMode == 0;
    case Condition::kNoErase:
      return state.eraseRunning == 0;
  }
  return false;
}

}  // namespace

ClickAction HitTest(int page, int x, int y, const ClickState& state) {
  if (x < 0 || x >= 800 || y < 0 || y >= 600)
    return ClickAction::kNone;
  for (const ClickRect& rect : kRects) {
    if (rect.page != page)
      continue;
    if (x < rect.left || x > rect.right || y < rect.top || y > rect.bottom)
      continue;
    // The two Health export rows share one rectangle and differ only by condition.
    if (rect.condition == Condition::kSeriesNotZero && !Holds(rect.condition, state))
      continue;
    return Holds(rect.condition, state) ? rect.action : ClickAction::kNone;
  }
  return ClickAction::kNone;
}

const char* ClickActionName(ClickAction action) {
  switch (action) {
    case ClickAction::kNone:
      return "none";
    case ClickAction::kToggleHistoryRecording:
      return "toggle-history-recording";
    case ClickAction::kHealthExportUnsupported:
      return "health-export-unsupported";
    case ClickAction::kHealthExport:
      return "health-export";
    case ClickAction::kSmartExport:
      return "smart-export";
    case ClickAction::kIdentifyExport:
      return "identify-export";
    case ClickAction::kToggleAlert:
      return "toggle-alert";
    case ClickAction::kCelsius:
      return "celsius";
    case ClickAction::kFahrenheit:
      return "fahrenheit";
    case ClickAction::kToggleSsl:
      return "toggle-ssl";
    case ClickAction::kToolEdit:
      return "tool-edit";
    case ClickAction::kToolSave:
      return "tool-save";
    case ClickAction::kMailTest:
      return "mail-test";
    case ClickAction::kSecureErase:
      return "secure-erase";
  }
  return "unknown";
}

}  // namespace ds
