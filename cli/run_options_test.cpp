#include "cli/run_options.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

TEST(RunOptionsTest, AutostartIsTheWholeCommandLineOnly) {
  using Args = std::vector<std::string>;
  EXPECT_TRUE(IsAutostartCommandLine(Args{"/autostart"}));
  for (const Args& args : {Args{}, Args{"/AUTOSTART"}, Args{" /autostart"}, Args{"/autostart "},
                           Args{"/autostart", "--demo"}, Args{"--demo", "/autostart"},
                           Args{"/autostart /autostart"}, Args{"autostart"}}) {
    EXPECT_FALSE(IsAutostartCommandLine(args)) << (args.empty() ? "" : args[0]);
  }
}

TEST(RunOptionsTest, ParsesEveryOption) {
  RunOptions options;
  std::string message;
  ASSERT_TRUE(ParseRunOptions({"--sim", "/tmp/machine", "--home", "/opt/ds", "--port", "0",
                               "--bind", "127.0.0.2", "--open"},
                              &options, &message));
  EXPECT_EQ(options.machine.source, DiskSource::kSimulated);
  EXPECT_EQ(options.machine.simFolder, "/tmp/machine");
  EXPECT_EQ(options.machine.home, "/opt/ds/");
  EXPECT_EQ(options.port, 0);
  EXPECT_EQ(options.bindAddress, "127.0.0.2");
  EXPECT_TRUE(options.open);
  EXPECT_FALSE(options.autostartLaunch);

  ASSERT_TRUE(ParseRunOptions({"--demo", "--headless", "--port", "65535"}, &options, &message));
  EXPECT_EQ(options.machine.source, DiskSource::kDemo);
  EXPECT_EQ(options.port, 65535);
  EXPECT_FALSE(options.open);

  ASSERT_TRUE(ParseRunOptions({"/autostart"}, &options, &message));
  EXPECT_TRUE(options.autostartLaunch);
  EXPECT_EQ(options.machine.source, DiskSource::kRealDisks);
  EXPECT_EQ(options.bindAddress, "127.0.0.1");
}

TEST(RunOptionsTest, RefusesBadCommandLines) {
  const std::vector<std::vector<std::string>> bad = {{"--bogus"},
                                                     {"--port"},
                                                     {"--port", "x"},
                                                     {"--port", "-1"},
                                                     {"--port", "65536"},
                                                     {"--port", "80a"},
                                                     {"--sim"},
                                                     {"--sim", ""},
                                                     {"--home"},
                                                     {"--home", ""},
                                                     {"--demo", "--sim", "d"},
                                                     {"--open", "--headless"},
                                                     {"--bind"}};
  for (const auto& args : bad) {
    RunOptions options;
    options.port = 1234;
    std::string message;
    EXPECT_FALSE(ParseRunOptions(args, &options, &message)) << args[0];
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(options.port, 1234);
  }
}

}  // namespace
}  // namespace ds
