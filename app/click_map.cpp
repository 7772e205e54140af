#include "app/click_map.h"

namespace ds {
namespace {

bool Holds(ClickCondition condition, const ClickState& state) {
  switch (condition) {
    case ClickCondition::kAlways:
      return true;
    // An endurance history exports as the maker's series does.
    case ClickCondition::kSeriesNotZero:
      return state.modelSeries != 0 && !state.enduranceHistory;
    case ClickCondition::kSeriesZero:
      return state.modelSeries == 0 || state.enduranceHistory;
    case ClickCondition::kEditMode:
      return state.toolEditMode == 1;
    case ClickCondition::kViewMode:
      return state.toolEditMode == 0;
    case ClickCondition::kNoErase:
      return state.eraseRunning == 0;
    case ClickCondition::kSelfTestOffered:
      return state.selfTestSupported && !state.selfTestRunning;
    case ClickCondition::kSelfTestRunning:
      return state.selfTestRunning;
  }
  return false;
}

}  // namespace

ClickAction HitTest(int page, int x, int y, const ClickState& state) {
  if (x < 0 || x >= 800 || y < 0 || y >= 600)
    return ClickAction::kNone;
  const PageEntry* entry = FindPage(page);
  if (entry == nullptr)
    return ClickAction::kNone;
  for (const ClickRect& rect : entry->clicks) {
    if (x < rect.left || x > rect.right || y < rect.top || y > rect.bottom)
      continue;
    // The two Health export rows share one rectangle and differ only by condition.
    if (rect.condition == ClickCondition::kSeriesNotZero && !Holds(rect.condition, state))
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
    case ClickAction::kSelfTestShort:
      return "selftest-short";
    case ClickAction::kSelfTestExtended:
      return "selftest-extended";
    case ClickAction::kSelfTestAbort:
      return "selftest-abort";
  }
  return "unknown";
}

}  // namespace ds
