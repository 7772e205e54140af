#include "platform/usb_bridge.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

namespace ds {
namespace {

TEST(UsbBridgeTest, SpeedNames) {
  const std::pair<const char*, const char*> cases[] = {{"1.5", "Low speed"},
                                                       {"12", "Full speed"},
                                                       {"480", "High speed"},
                                                       {"5000", "SuperSpeed"},
                                                       {"10000", "SuperSpeed+"},
                                                       {"20000", "SuperSpeed+"},
                                                       {"", ""}};
  for (const auto& [mbps, name] : cases)
    EXPECT_EQ(UsbSpeedName(mbps), name) << mbps;
}

// A measured bridge that takes only 12-byte blocks is never sent a 16-byte one; one marked
// bad is sent nothing; an ILLEGAL REQUEST after the probe gives the bridge up.
TEST(UsbBridgeTest, MeasuredBridgesAndGivingUp) {
  const UsbBridgeQuirk table[] = {{0x152d, 0x0578, true, false}, {0x1234, 0x0001, false, true}};
  std::vector<SatCdbLength> sent;
  int refuse = 0;
  const auto send = [&](const AtaCommand&, SatCdbLength length) {
    sent.push_back(length);
    AtaResult result;
    result.transportOk = refuse == 0;
    result.osError = refuse;
    return result;
  };
  AtaCommand identify;
  identify.registers.command = kAtaIdentifyDevice;
  UsbBridge twelve(FindUsbBridgeQuirk(0x152d, 0x0578, table));
  EXPECT_TRUE(twelve.Execute(identify, send).transportOk);
  EXPECT_EQ(sent, std::vector<SatCdbLength>{SatCdbLength::k12});
  UsbBridge bad(FindUsbBridgeQuirk(0x1234, 0x0001, table));
  EXPECT_EQ(bad.Execute(identify, send).osError, EOPNOTSUPP);
  EXPECT_EQ(std::tuple(sent.size(), bad.path()), std::tuple(1u, BridgePath::kNone));
  EXPECT_EQ(FindUsbBridgeQuirk(0x1234, 0x0002, table), nullptr);

  UsbBridge plain(nullptr);
  EXPECT_TRUE(plain.Execute(identify, send).transportOk);
  refuse = EOPNOTSUPP;  // the bridge passed IDENTIFY, then rejects a command that is no log read
  EXPECT_FALSE(plain.Execute(identify, send).transportOk);
  EXPECT_EQ(std::tuple(plain.path(), plain.sentCount()), std::tuple(BridgePath::kNone, 2));
  EXPECT_FALSE(plain.Execute(identify, send).transportOk);
  EXPECT_EQ(plain.sentCount(), 2);
}

}  // namespace
}  // namespace ds
