#include "cli/run_options.h"

#include <gtest/gtest.h>

#include <ranges>

namespace ds {
namespace {

TEST(RunOptionsTest, AutostartIsTheWholeCommandLineOnly) {
  using Args = std::vector<std::string>;
  for (const Args& args : {Args{}, Args{"/AUTOSTART"}, Args{" /autostart"}, Args{"/autostart "},
                           Args{"/autostart", "--demo"}, Args{"--demo", "/autostart"},
                           Args{"/autostart /autostart"}, Args{"autostart"}}) {
    EXPECT_FALSE(IsAutostartCommandLine(args)) << (args.empty() ? "" : args[0]);
  }
}

TEST(RunOptionsTest, ParsesEveryOption) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--sim", "/tmp/machine", "--home", "/opt/ds", "--port", "0", "--bind", "127.0.0.2",
        "--open"},
       "sim /tmp/machine home /opt/ds/ port 0 bind 127.0.0.2 open 1 autostart 0"},
      {{"--demo", "--headless", "--port", "65535"},
       "demo  home  port 65535 bind 127.0.0.1 open 0 autostart 0"},
      {{"/autostart"}, "real  home  port 0 bind 127.0.0.1 open 0 autostart 1"}};
  const char* sources[] = {"real", "demo", "sim"};
  for (const auto& [args, expected] : cases) {
    RunOptions o;
    std::string message;
    ASSERT_TRUE(ParseRunOptions(args, &o, &message)) << message;
    EXPECT_EQ(std::string(sources[static_cast<int>(o.machine.source)]) + " " + o.machine.simFolder +
                  " home " + o.machine.home + " port " + std::to_string(o.port) + " bind " +
                  o.bindAddress + " open " + std::to_string(o.open) + " autostart " +
                  std::to_string(o.autostartLaunch),
              expected);
  }
}

TEST(RunOptionsTest, RefusesBadCommandLines) {
  // Words split at each space: "--sim " ends in an empty argument.
  for (std::string_view line : {"--bogus", "--port", "--port x", "--port -1", "--port 65536",
                                "--port 80a", "--sim", "--sim ", "--home", "--home ",
                                "--demo --sim d", "--open --headless", "--bind", "--bind "}) {
    std::vector<std::string> args;
    for (auto word : std::views::split(line, ' '))
      args.emplace_back(word.begin(), word.end());
    RunOptions options;
    options.port = 1234;
    std::string message;
    EXPECT_FALSE(ParseRunOptions(args, &options, &message)) << line;
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(options.port, 1234);
  }
}

}  // namespace
}  // namespace ds
