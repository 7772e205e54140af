#include "web/held_view.h"

#include <gtest/gtest.h>

#include <tuple>

namespace ds {
namespace {

struct HeldCase {
  const char* what;
  PublishedFrame frame;
  std::uint64_t from;
  bool late;
  HeldViewStep step;
};

TEST(HeldViewTest, WaitsForTheClicksBuiltPageAndNotLongerThanTheLoadingDelay) {
  const HeldCase cases[] = {
      {"nothing published yet", {"HomePage.html", 7}, 7, false, HeldViewStep::kWait},
      {"nothing published in time", {"HomePage.html", 7}, 7, true, HeldViewStep::kUnchanged},
      {"the built page", {"SMARTPage.html", 9}, 7, false, HeldViewStep::kShow},
      {"the shell knew an older sequence", {"SMARTPage.html", 9}, 8, false, HeldViewStep::kShow},
      {"still loading", {"loading.html", 8}, 7, false, HeldViewStep::kWait},
      {"loading past the delay", {"loading.html", 8}, 7, true, HeldViewStep::kShow},
      {"a page named like the loading page", {"xloading.html", 8}, 7, false, HeldViewStep::kShow},
      {"no frame at all", {"", 8}, 7, true, HeldViewStep::kUnchanged},
  };
  for (const HeldCase& c : cases)
    EXPECT_EQ(DecideHeldView(c.frame, c.from, c.late), c.step) << c.what;
}

TEST(HeldViewTest, TheFrameIsSentToPlainDataFilesOnly) {
  const std::string token = "0123456789abcdef0123456789abcdef";
  EXPECT_EQ(HeldViewLocation(token, {"SMARTPage.html", 12}),
            "/" + token + "/data/SMARTPage.html?view=12");
  EXPECT_EQ(HeldViewLocation(token, {"sub/disk_info_0_0.html", 3}),
            "/" + token + "/data/sub/disk_info_0_0.html?view=3");
  for (const char* file : {"", "/etc/passwd", "../x.html", "a b.html", "a\r\nSet-Cookie: x",
                           "https://example.test/", "a?b.html", "a%0d.html"})
    EXPECT_EQ(HeldViewLocation(token, {file, 1}), "") << file;
}

TEST(HeldViewTest, TheStartingSequenceIsAPlainNumber) {
  const std::tuple<const char*, bool, std::uint64_t> cases[] = {
      {"from=0", true, 0},
      {"from=18446744073709551615", true, 18446744073709551615ull},
      {"r=1&from=42", true, 42},
      {"from=18446744073709551616", false, 0},
      {"from=-1", false, 0},
      {"from=+1", false, 0},
      {"from=1x", false, 0},
      {"from=", false, 0},
      {"", false, 0},
  };
  for (const auto& [query, ok, value] : cases) {
    std::uint64_t from = 0;
    EXPECT_EQ(ParseHeldViewFrom(query, &from), ok) << query;
    if (ok) {
      EXPECT_EQ(from, value) << query;
    }
  }
}

}  // namespace
}  // namespace ds
