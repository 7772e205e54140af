#include "web/input_cookies.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

TEST(InputCookiesTest, TakesTheRunsCookiesOnlyAndNamesTheStaleOnes) {
  // Cookie headers in a browser's order; whether they carried this run's inputs, stale, Text().
  const std::tuple<std::string, bool, std::vector<std::string>, std::string> steps[] = {
      // Planted by a page of another port: no prefix, a prefix of another run, no value.
      {"disk_sel=3; tool_page_host=evil", false, {}, ""},
      {"dsffff_disk_sel=3; dsT_; dsT_disk_sel", false, {}, ""},
      {"dsT_disk_sel=1; disk_sel=3", true, {}, "disk_sel=1"},
      // Sent again unchanged: stale; the first of a repeated name counts.
      {"dsT_disk_sel=1; dsT_disk_sel=2", true, {"dsT_disk_sel"}, "disk_sel=1"},
      // A new value is taken, never reported stale; values stay as sent.
      {"dsT_disk_sel=2;dsT_tool_page_to=a%40b%2Cc", true, {}, "disk_sel=2; tool_page_to=a%40b%2Cc"},
      // No longer sent (expired in the browser): still taken.
      {"", false, {}, "disk_sel=2; tool_page_to=a%40b%2Cc"},
      {" dsT_tool_page_to = a%40b%2Cc ; dsT_disk_sel=2",
       true,
       {"dsT_tool_page_to", "dsT_disk_sel"},
       "disk_sel=2; tool_page_to=a%40b%2Cc"},
      {"dsT_tool_page_to=", true, {}, "disk_sel=2; tool_page_to="},
  };
  InputCookies inputs(InputCookiePrefix("T"));
  for (const auto& [header, carried, stale, taken] : steps) {
    const InputCookies::Intake intake = inputs.TakeIn(header);
    EXPECT_EQ(std::tuple(intake.carried, intake.stale, inputs.Text()),
              std::tuple(carried, stale, taken))
        << header;
  }
}

TEST(InputCookiesTest, KeepsABoundedNumberOfInputs) {
  InputCookies inputs("dsT_");
  const auto name = [](std::size_t i) { return "n" + std::to_string(1000 + i); };
  std::string header;
  for (std::size_t i = 0; i < InputCookies::kMaxInputs + 10; ++i)
    header += "dsT_" + name(i) + "=v; ";
  inputs.TakeIn(header);
  const std::string text = inputs.Text();
  EXPECT_NE(text.find("n1000=v"), std::string::npos);
  EXPECT_NE(text.find(name(InputCookies::kMaxInputs - 1) + "=v"), std::string::npos);
  EXPECT_EQ(text.find(name(InputCookies::kMaxInputs) + "="), std::string::npos);
  inputs.TakeIn("dsT_n1000=w");
  EXPECT_NE(inputs.Text().find("n1000=w"), std::string::npos);
}

}  // namespace
}  // namespace ds
