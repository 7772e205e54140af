#pragma once

#include "pages/page_registry.h"

// The click map: the fixed rectangles of the report pages (listed in the page registry)
// where a left click runs a program action; the pages' pictures are drawn under them.
// A pure function of the page, the window-relative position and a few state fields.
namespace ds {

// The state fields the conditions of the map read.
struct ClickState {
  int modelSeries = 99;
  int toolEditMode = 0;
  int eraseRunning = 0;
  bool enduranceHistory = false;  // the selected disk's history is of its endurance indicator
  bool selfTestSupported = false;  // of the selected disk's snapshot
  bool selfTestRunning = false;
};

// Window coordinates span 0..799 and 0..599; anything else never hits.
ClickAction HitTest(int page, int x, int y, const ClickState& state);

const char* ClickActionName(ClickAction action);

}  // namespace ds
