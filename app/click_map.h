#pragma once

// The click map: fixed rectangles of the report pages where a left click runs a program
// action (the pages are passive HTML; their pictures are drawn under these rectangles).
// A pure function of the page, the window-relative position and a few state fields.
namespace ds {

enum class ClickAction {
  kNone,
  kToggleHistoryRecording,   // Health: flip active_rec, then rebuild the Health page
  kHealthExportUnsupported,  // Health export on a drive of another series
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
};

// The state fields the conditions of the map read.
struct ClickState {
  int modelSeries = 99;
  int toolEditMode = 0;
  int eraseRunning = 0;
};

// Window coordinates span 0..799 and 0..599; anything else never hits.
ClickAction HitTest(int page, int x, int y, const ClickState& state);

const char* ClickActionName(ClickAction action);

}  // namespace ds
