#include "app/click_map.h"

#include <gtest/gtest.h>

#include <utility>

#include "web/window_look.h"

namespace ds {
namespace {

using enum ClickAction;

// The rules around the rectangles; the window and browser tests click most of them.
TEST(ClickMapTest, EdgesBelongToTheRectangleAndOnlyItsPageAnswers) {
  const ClickState any{};  // the S.M.A.R.T. export spans 694-716 x 143-166, edges included
  for (auto [x, y] : {std::pair{694, 143}, {716, 166}, {705, 155}})
    EXPECT_EQ(HitTest(kPageSmart, x, y, any), kSmartExport) << x << "," << y;
  const int outside[][2] = {
      {693, 150}, {717, 150}, {705, 142}, {705, 167},           {-1, 150},
      {800, 150}, {700, -1},  {700, 600}, {-2147483647 - 1, 0}, {0, 2147483647}};
  for (auto [x, y] : outside)
    EXPECT_EQ(HitTest(kPageSmart, x, y, any), kNone) << x << "," << y;
  for (int page : {kPageHome, kPageInternal, kPageDiskInfo, kPageHealth, kPageTool, kPageSystem})
    EXPECT_EQ(HitTest(page, 705, 155, any), kNone) << page;
}

TEST(ClickMapTest, TheStateDecidesWhetherAndHowARectangleActs) {
  // Tool page x, y; the state (series, edit mode, erase running); the action.
  const std::tuple<int, int, ClickState, ClickAction> cases[] = {
      {165, 200, {99, 1, 0}, kCelsius},
      {600, 150, {99, 1, 0}, kNone},  // Edit only in view mode
      {680, 490, {99, 1, 0}, kSecureErase},
      {680, 490, {99, 1, 1}, kNone},  // not while an erase runs
  };
  for (const auto& [x, y, state, action] : cases)
    EXPECT_EQ(HitTest(kPageTool, x, y, state), action) << x << "," << y;
  // Alert, Celsius, Fahrenheit, SSL, Save and mail test do nothing outside edit mode.
  for (auto [x, y] :
       {std::pair{430, 150}, {165, 200}, {190, 200}, {620, 340}, {670, 150}, {630, 420}})
    EXPECT_EQ(HitTest(kPageTool, x, y, {99, 0, 0}), kNone) << x << "," << y;
  // S.M.A.R.T. page x; whether the disk runs self-tests and one runs; the action.
  const std::tuple<int, bool, bool, ClickAction> selfTests[] = {
      {322, 1, 0, kSelfTestShort},    {451, 0, 0, kNone},          {458, 1, 1, kNone},
      {607, 1, 0, kSelfTestExtended}, {614, 1, 1, kSelfTestAbort}, {713, 1, 0, kNone}};
  for (const auto& [x, supported, running, action] : selfTests)
    EXPECT_EQ(HitTest(kPageSmart, x, 460, {99, 0, 0, false, supported, running}), action) << x;
}

// The shell sends no mouse-down for a press on a window button: no rectangle may lie under one.
TEST(ClickMapTest, NoRectangleLiesUnderAWindowButton) {
  for (const PageEntry& page : Pages()) {
    for (const ClickRect& r : page.clicks) {
      for (const ButtonLayout& b : WindowButtons()) {
        EXPECT_TRUE(r.right < b.left || r.left >= b.left + b.width || r.bottom < b.top ||
                    r.top >= b.top + b.height)
            << page.id << " " << b.id;
      }
    }
  }
}

}  // namespace
}  // namespace ds
