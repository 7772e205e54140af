#include "app/click_map.h"

#include <gtest/gtest.h>

#include <vector>

#include "web/window_look.h"

namespace ds {
namespace {

struct RectCase {
  int page;
  int left, right, top, bottom;
  ClickState state;  // a state in which the rectangle acts
  ClickAction action;
};

ClickState Series(int series) {
  return {series, 0, 0};
}
ClickState Edit(int mode) {
  return {99, mode, 0};
}

// The rectangles of the pages as the page pictures are drawn, with a state that enables each.
const std::vector<RectCase> kRects = {
    {kPageHealth, 472, 495, 314, 337, Series(99), ClickAction::kToggleHistoryRecording},
    {kPageHealth, 694, 716, 314, 337, Series(1), ClickAction::kHealthExportUnsupported},
    {kPageHealth, 694, 716, 314, 337, Series(99), ClickAction::kHealthExportUnsupported},
    {kPageHealth, 694, 716, 314, 337, Series(0), ClickAction::kHealthExport},
    {kPageSmart, 694, 716, 143, 166, Series(2), ClickAction::kSmartExport},
    {kPageSmart, 694, 716, 345, 369, Series(2), ClickAction::kIdentifyExport},
    {kPageTool, 423, 447, 144, 166, Edit(1), ClickAction::kToggleAlert},
    {kPageTool, 159, 177, 195, 214, Edit(1), ClickAction::kCelsius},
    {kPageTool, 185, 202, 195, 214, Edit(1), ClickAction::kFahrenheit},
    {kPageTool, 614, 638, 333, 356, Edit(1), ClickAction::kToggleSsl},
    {kPageTool, 590, 650, 144, 166, Edit(0), ClickAction::kToolEdit},
    {kPageTool, 660, 718, 144, 166, Edit(1), ClickAction::kToolSave},
    {kPageTool, 626, 718, 411, 435, Edit(1), ClickAction::kMailTest},
    {kPageTool, 658, 718, 485, 507, Edit(0), ClickAction::kSecureErase},
    {kPageTool, 658, 718, 485, 507, Edit(1), ClickAction::kSecureErase},
};

TEST(ClickMapTest, EveryEdgeIsInsideAndOneBeyondIsOutside) {
  for (const RectCase& r : kRects) {
    SCOPED_TRACE(testing::Message() << "page " << r.page << " rect " << r.left << "-" << r.right
                                    << " x " << r.top << "-" << r.bottom);
    int midX = (r.left + r.right) / 2;
    int midY = (r.top + r.bottom) / 2;
    for (auto [x, y] : std::vector<std::pair<int, int>>{{r.left, r.top},
                                                        {r.right, r.top},
                                                        {r.left, r.bottom},
                                                        {r.right, r.bottom},
                                                        {midX, midY}}) {
      EXPECT_EQ(HitTest(r.page, x, y, r.state), r.action) << x << "," << y;
    }
    for (auto [x, y] : std::vector<std::pair<int, int>>{
             {r.left - 1, midY}, {r.right + 1, midY}, {midX, r.top - 1}, {midX, r.bottom + 1}}) {
      ClickAction got = HitTest(r.page, x, y, r.state);
      EXPECT_NE(got, r.action) << x << "," << y;
    }
  }
}

TEST(ClickMapTest, RectanglesActOnlyOnTheirOwnPage) {
  for (const RectCase& r : kRects) {
    for (int page = 0; page < kPageCount; ++page) {
      if (page == r.page)
        continue;
      EXPECT_EQ(HitTest(page, r.left, r.top, r.state), ClickAction::kNone)
          << "page " << page << " at " << r.left << "," << r.top;
    }
  }
}

TEST(ClickMapTest, FailedConditionEndsWithoutAction) {
  struct Case {
    int page, x, y;
    ClickState state;
  };
  const std::vector<Case> cases = {
      {kPageTool, 423, 144, Edit(0)},               // alert toggle outside edit mode
      {kPageTool, 159, 195, Edit(0)},               // Celsius
      {kPageTool, 202, 214, Edit(0)},               // Fahrenheit
      {kPageTool, 614, 333, Edit(0)},               // SSL
      {kPageTool, 590, 144, Edit(1)},               // Edit while editing
      {kPageTool, 660, 144, Edit(0)},               // Save outside edit mode
      {kPageTool, 626, 411, Edit(0)},               // mail test
      {kPageTool, 658, 485, ClickState{99, 1, 1}},  // erase while one runs
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HitTest(c.page, c.x, c.y, c.state), ClickAction::kNone) << c.x << "," << c.y;
  }
}

TEST(ClickMapTest, SmartExportCornerCases) {
  ClickState any{};
  EXPECT_EQ(HitTest(kPageSmart, 694, 143, any), ClickAction::kSmartExport);
  EXPECT_EQ(HitTest(kPageSmart, 693, 143, any), ClickAction::kNone);
  EXPECT_EQ(HitTest(kPageSmart, 694, 167, any), ClickAction::kNone);
}

TEST(ClickMapTest, PagesWithoutRectanglesAndOutOfRangePoints) {
  ClickState any{0, 1, 0};
  for (int page : {kPageHome, kPageInternal, kPageDiskInfo, kPageSystem, -1, 7, 1000}) {
    for (int x = 0; x < 800; x += 7) {
      for (int y = 0; y < 600; y += 7) {
        ASSERT_EQ(HitTest(page, x, y, any), ClickAction::kNone) << page << " " << x << "," << y;
      }
    }
  }
  for (auto [x, y] : std::vector<std::pair<int, int>>{
           {-1, 150}, {800, 150}, {700, -1}, {700, 600}, {-2147483647 - 1, 0}, {0, 2147483647}}) {
    EXPECT_EQ(HitTest(kPageSmart, x, y, any), ClickAction::kNone);
  }
}

}  // namespace
}  // namespace ds
