#include "web/web_shell.h"

#include <gtest/gtest.h>

#include <future>

namespace ds {
namespace {

using namespace std::chrono_literals;

// Reads events of one page until one named `name` arrives; returns its block.
std::string WaitFor(WebShell& shell, const std::shared_ptr<EventStream::Client>& client,
                    const std::string& name) {
  std::string event;
  for (int i = 0; i < 100 && shell.stream().Next(client, &event, 50ms); ++i)
    if (event.rfind("event: " + name + "\n", 0) == 0)
      return event;
  return "";
}

int DialogId(const std::string& event) {
  std::size_t at = event.find("\"id\":");
  return at == std::string::npos ? -1 : std::stoi(event.substr(at + 5));
}

ShellInput Reply(int id, const std::string& answer, const std::string& text = "") {
  ShellInput input;
  input.kind = InputKind::kDialogAnswer, input.id = id, input.answer = answer, input.text = text;
  return input;
}

TEST(WebShellTest, DialogsTakeTheirDefaultAtOnceWithoutAPageOrAfterTheirTime) {
  WebShell shell(10s);
  auto start = std::chrono::steady_clock::now();
  std::string code = "unchanged";
  EXPECT_FALSE(shell.AskYesNo("Continue?", "Warning"));
  EXPECT_FALSE(shell.AskPassword(&code) || code != "unchanged" || shell.AskAutorun().ok);
  shell.ShowMessage("text", "caption", MessageIcon::kNone);
  shell.ShowSplash(0);  // no splash at all
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

  WebShell timed(100ms);
  auto page = timed.stream().Connect({});
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(timed.AskYesNo("Erase?", "Warning"));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
  EXPECT_FALSE(timed.AskAutorun().ok);
}

TEST(WebShellTest, TheFirstAnswerOfAnyPageDecidesAndAllPagesCloseTheDialog) {
  WebShell shell(10s);
  auto first = shell.stream().Connect({});
  auto second = shell.stream().Connect({});
  auto asked = std::async(std::launch::async, [&] {
    std::string code;
    return shell.AskPassword(&code) ? code : "<cancel>";
  });
  std::string dialog = WaitFor(shell, first, "dialog");
  ASSERT_NE(dialog.find("\"kind\":\"password\""), std::string::npos);
  EXPECT_EQ(WaitFor(shell, second, "dialog"), dialog);
  auto late = shell.stream().Connect(shell.CurrentEvents());  // sees the open dialog too
  EXPECT_EQ(WaitFor(shell, late, "dialog"), dialog);

  int id = DialogId(dialog);
  EXPECT_FALSE(shell.Answer(Reply(id + 100, "ok", "wrong dialog")));
  EXPECT_TRUE(shell.Answer(Reply(id, "ok", "Talvex")));
  EXPECT_FALSE(shell.Answer(Reply(id, "cancel")));  // already answered
  EXPECT_EQ(asked.get(), "Talvex");
  EXPECT_FALSE(WaitFor(shell, first, "dialog-close").empty() ||
               WaitFor(shell, second, "dialog-close").empty() || !shell.CurrentEvents().empty());
}

TEST(WebShellTest, AutorunAnswerCarriesChoiceAndCheckBoxAndCloseOrShutdownEnds) {
  WebShell shell(10s);
  auto page = shell.stream().Connect({});
  auto asked = std::async(std::launch::async, [&] { return shell.AskAutorun(); });
  ShellInput reply = Reply(DialogId(WaitFor(shell, page, "dialog")), "ok");
  reply.choiceYes = false, reply.check = true;
  ASSERT_TRUE(shell.Answer(reply));
  AutorunAnswer answer = asked.get();
  EXPECT_TRUE(answer.ok && !answer.yes && answer.doNotAskAgain);

  auto start = std::chrono::steady_clock::now();
  auto splash = std::async(std::launch::async, [&] { shell.ShowSplash(5); });
  std::this_thread::sleep_for(50ms);
  shell.CloseSplash();
  splash.get();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  auto yesNo = std::async(std::launch::async, [&] { return shell.AskYesNo("q", "c"); });
  ASSERT_FALSE(WaitFor(shell, page, "dialog").empty());
  shell.Shutdown();
  EXPECT_FALSE(yesNo.get());
}

TEST(WebShellTest, WhatWaitsForAViewerRunsOnceWhenTheFirstPageConnects) {
  WebShell shell;
  int runs = 0;
  shell.WhenViewed([&runs] { ++runs; });
  EXPECT_EQ(runs, 0);
  auto first = shell.ConnectPage();
  auto second = shell.ConnectPage();
  EXPECT_EQ(runs, 1);
  shell.WhenViewed([&runs] { runs += 10; });  // a page shows the window: at once
  EXPECT_EQ(runs, 11);
}

// The shell holds no geometry of its own: every page learns it from the registry.
TEST(WebShellTest, EveryPageGetsTheButtonsAndOriginsOfTheRegistry) {
  WebShell shell(10s);
  shell.Publish(WindowLook{});
  std::string layout = WaitFor(shell, shell.ConnectPage(), "layout");
  EXPECT_NE(layout.find("\"browser\":[22,117],\"icon\":[22,22,40,40]"), std::string::npos);
  for (const ButtonLayout& b : WindowButtons()) {
    std::string row = "[" + std::to_string(b.id) + "," + std::to_string(b.left) + "," +
                      std::to_string(b.top) + "," + std::to_string(b.width) + "," +
                      std::to_string(b.height) + ",\"" + b.tooltip + "\"]";
    EXPECT_NE(layout.find(row), std::string::npos) << row;
  }
}

TEST(WebShellTest, LookReachesPagesWithSelectedFacesAndEscapedTextsAndNonReadersAreDropped) {
  WebShell shell;
  auto page = shell.stream().Connect({});
  WindowLook look;
  look.frame = "a\"<b>.html";
  look.setSelected(kTabSmart, true);
  shell.Publish(look);
  const std::string state = WaitFor(shell, page, "state");
  EXPECT_NE(state.find("\"frame\":\"/data/a\\\"\\u003cb\\u003e.html\""), std::string::npos);
  EXPECT_NE(state.find("\"1007\":{\"normal\":\"/data/images/btn_147.svg\""), std::string::npos);
  for (int i = 0; i < 2000; ++i)
    shell.Publish(look);
  EXPECT_EQ(shell.stream().clientCount(), 0u);
}

// A page past the limit takes the place of the oldest, whose stream ends.
TEST(EventStreamTest, APagePastTheLimitEndsTheOldest) {
  EventStream stream(2);
  auto first = stream.Connect({}), second = stream.Connect({}), third = stream.Connect({"x"});
  std::string event;
  EXPECT_FALSE(stream.Next(first, &event, 0ms));
  EXPECT_TRUE(third && stream.Next(third, &event, 0ms) && event == "x");
  EXPECT_EQ(stream.clientCount(), 2u);
}

}  // namespace
}  // namespace ds
