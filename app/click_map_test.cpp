#include "app/click_map.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "web/window_look.h"

namespace ds {
namespace {

using enum ClickAction;

// Where each rectangle lies is the page pictures' business, and the browser tests click
// them on the real pages; these tests hold the rules around the rectangles.

TEST(ClickMapTest, EdgesBelongToTheRectangleAndOnlyItsPageAnswers) {
  // The S.M.A.R.T. export button spans 694-716 x 143-166, edges included.
  const ClickState any{};
  const std::pair<std::pair<int, int>, ClickAction> points[] = {
      {{694, 143}, kSmartExport}, {{716, 166}, kSmartExport}, {{705, 155}, kSmartExport},
      {{693, 150}, kNone},        {{717, 150}, kNone},        {{705, 142}, kNone},
      {{705, 167}, kNone}};
  for (const auto& [point, action] : points)
    EXPECT_EQ(HitTest(kPageSmart, point.first, point.second, any), action) << point.first;
  for (int page : {kPageHome, kPageInternal, kPageDiskInfo, kPageHealth, kPageTool, kPageSystem})
    EXPECT_EQ(HitTest(page, 705, 155, any), kNone) << page;
}

TEST(ClickMapTest, TheStateDecidesWhetherAndHowARectangleActs) {
  struct Case {
    int page, x, y;
    ClickState state;  // series, Tool page edit mode, erase running
    ClickAction action;
  };
  const Case cases[] = {
      {kPageHealth, 480, 320, {99, 0, 0}, kToggleHistoryRecording},
      {kPageHealth, 700, 320, {0, 0, 0}, kHealthExport},
      {kPageHealth, 700, 320, {1, 0, 0}, kHealthExportUnsupported},
      {kPageHealth, 700, 320, {99, 0, 0}, kHealthExportUnsupported},
      {kPageTool, 430, 150, {99, 1, 0}, kToggleAlert},
      {kPageTool, 430, 150, {99, 0, 0}, kNone},
      {kPageTool, 165, 200, {99, 1, 0}, kCelsius},
      {kPageTool, 165, 200, {99, 0, 0}, kNone},
      {kPageTool, 190, 200, {99, 1, 0}, kFahrenheit},
      {kPageTool, 190, 200, {99, 0, 0}, kNone},
      {kPageTool, 620, 340, {99, 1, 0}, kToggleSsl},
      {kPageTool, 620, 340, {99, 0, 0}, kNone},
      {kPageTool, 600, 150, {99, 0, 0}, kToolEdit},
      {kPageTool, 600, 150, {99, 1, 0}, kNone},
      {kPageTool, 670, 150, {99, 1, 0}, kToolSave},
      {kPageTool, 670, 150, {99, 0, 0}, kNone},
      {kPageTool, 630, 420, {99, 1, 0}, kMailTest},
      {kPageTool, 630, 420, {99, 0, 0}, kNone},
      {kPageTool, 680, 490, {99, 0, 0}, kSecureErase},
      {kPageTool, 680, 490, {99, 1, 0}, kSecureErase},
      {kPageTool, 680, 490, {99, 1, 1}, kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HitTest(c.page, c.x, c.y, c.state), c.action)
        << c.page << " at " << c.x << "," << c.y << " series " << c.state.modelSeries << " edit "
        << c.state.toolEditMode << " erase " << c.state.eraseRunning;
  }
}

TEST(ClickMapTest, PagesWithoutRectanglesAndPointsOutsideTheWindow) {
  const ClickState any{0, 1, 0};
  for (int page : {kPageHome, kPageInternal, kPageDiskInfo, kPageSystem, -1, 7, 1000}) {
    for (int x = 0; x < 800; x += 7) {
      for (int y = 0; y < 600; y += 7)
        ASSERT_EQ(HitTest(page, x, y, any), kNone) << page << " " << x << "," << y;
    }
  }
  for (auto [x, y] : std::vector<std::pair<int, int>>{
           {-1, 150}, {800, 150}, {700, -1}, {700, 600}, {-2147483647 - 1, 0}, {0, 2147483647}})
    EXPECT_EQ(HitTest(kPageSmart, x, y, any), kNone);
}

}  // namespace
}  // namespace ds
