#include "web/shell_input.h"

#include <gtest/gtest.h>

#include <map>

namespace ds {
namespace {

bool Parse(const std::map<std::string, std::string>& form, ShellInput* input) {
  auto field = [&form](const std::string& name) -> const std::string* {
    auto it = form.find(name);
    return it == form.end() ? nullptr : &it->second;
  };
  std::string message;
  bool ok = ParseShellInput(field, input, &message);
  if (!ok) {
    EXPECT_FALSE(message.empty());
  }
  return ok;
}

TEST(ShellInputTest, WellFormedInputs) {
  ShellInput input;
  ASSERT_TRUE(Parse({{"type", "button"}, {"id", "1007"}}, &input));
  EXPECT_EQ(input.kind, InputKind::kButton);
  EXPECT_EQ(input.id, 1007);
  ASSERT_TRUE(Parse({{"type", "mousedown"}, {"button", "0"}, {"x", "694"}, {"y", "-3"}}, &input));
  EXPECT_EQ(input.kind, InputKind::kMouseDown);
  EXPECT_EQ(input.x, 694);
  EXPECT_EQ(input.y, -3);
  EXPECT_EQ(input.at, 0u);
  ASSERT_TRUE(Parse(
      {{"type", "mousedown"}, {"button", "0"}, {"x", "1"}, {"y", "2"}, {"at", "1796575361123"}},
      &input));
  EXPECT_EQ(input.at, 1796575361123u);
  ASSERT_TRUE(Parse({{"type", "key"}, {"key", "F2"}}, &input));
  EXPECT_EQ(input.key, "F2");
  ASSERT_TRUE(Parse({{"type", "tray"}, {"button", "left"}}, &input));
  EXPECT_TRUE(input.trayLeft);
  ASSERT_TRUE(Parse({{"type", "tray"}, {"button", "double"}}, &input));
  EXPECT_FALSE(input.trayLeft);
  ASSERT_TRUE(Parse({{"type", "dialog"},
                     {"id", "4"},
                     {"answer", "ok"},
                     {"text", "Talvex"},
                     {"choice", "no"},
                     {"check", "1"}},
                    &input));
  EXPECT_EQ(input.kind, InputKind::kDialogAnswer);
  EXPECT_EQ(input.text, "Talvex");
  EXPECT_FALSE(input.choiceYes);
  EXPECT_TRUE(input.check);
  ASSERT_TRUE(Parse({{"type", "splash-close"}}, &input));
  EXPECT_EQ(input.kind, InputKind::kSplashClose);
}

TEST(ShellInputTest, MalformedInputsAreRefused) {
  const std::vector<std::map<std::string, std::string>> bad = {
      {},
      {{"type", "explode"}},
      {{"type", "button"}},
      {{"type", "button"}, {"id", "10x"}},
      {{"type", "button"}, {"id", ""}},
      {{"type", "button"}, {"id", "-5"}},
      {{"type", "button"}, {"id", "99999999999999999999"}},
      {{"type", "mousedown"}, {"button", "0"}, {"x", "1"}},
      {{"type", "mousedown"}, {"button", "0"}, {"x", "1.5"}, {"y", "2"}},
      {{"type", "mousedown"}, {"button", "0"}, {"x", "1"}, {"y", "200000"}},
      {{"type", "mousedown"}, {"button", "9"}, {"x", "1"}, {"y", "2"}},
      {{"type", "mousedown"}, {"button", "0"}, {"x", " 1"}, {"y", "2"}},
      {{"type", "mousedown"}, {"button", "0"}, {"x", "1"}, {"y", "2"}, {"at", "-5"}},
      {{"type", "key"}},
      {{"type", "key"}, {"key", std::string(40, 'k')}},
      {{"type", "tray"}, {"button", "elbow"}},
      {{"type", "dialog"}, {"id", "1"}},
      {{"type", "dialog"}, {"id", "0"}, {"answer", "ok"}},
      {{"type", "dialog"}, {"id", "1"}, {"answer", "maybe"}},
      {{"type", "dialog"}, {"id", "1"}, {"answer", "ok"}, {"text", std::string(300, 't')}},
  };
  for (const auto& form : bad) {
    ShellInput input;
    input.id = 77;
    EXPECT_FALSE(Parse(form, &input));
    EXPECT_EQ(input.id, 77);  // untouched on failure
  }
}

}  // namespace
}  // namespace ds
