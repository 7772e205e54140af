#include "drive/drive_enumerator.h"

#include "drive/ata_log_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <tuple>

#include "platform/linux/linux_disk_system.h"
#include "platform/sim/sim_test_drive.h"
#include "platform/sim/simulated_machine.h"
#include "store/history_folder.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

std::unique_ptr<SimulatedMachine> LoadMachine(const std::string& folder) {
  std::string message;
  auto machine = SimulatedMachine::Load(folder, &message);
  EXPECT_TRUE(machine) << message;
  return machine;
}

TEST(DriveEnumeratorTest, LinuxSysfsFixture) {
  LinuxDiskSystem disks(std::string(DS_SOURCE_DIR) + "/testdata/sysfs-basic");
  std::vector<std::string> messages;
  DriveEnumerator enumerator(disks, [&](std::string_view m) { messages.emplace_back(m); });
  enumerator.Enumerate();
  EXPECT_TRUE(messages.empty());  // the device nodes are plain files: none answers IDENTIFY
  const DriveRecord &nvme = enumerator.slot(0), &sda = enumerator.slot(1),
                    &usb = enumerator.slot(3);
  EXPECT_EQ(std::tuple(enumerator.GetPhysicalDriveCount(), enumerator.volumeCount(),
                       enumerator.identifyCount(), int{sda.busType},
                       sda.model + sda.serial + sda.firmware, sda.sectorCount,
                       enumerator.isUsbStorage(0), enumerator.isUsbStorage(3)),
            std::tuple(6, 5, 0, 11, "", 0u, false, true));
  EXPECT_EQ(
      std::tie(nvme.model, nvme.serial, nvme.firmware, nvme.sectorCount),
      std::tuple("NVMe Samsung SSD 970 EVO Plus 500GB", "S4EVNX0N123456K", "2B2QEXM7", 976773168u));
  EXPECT_EQ(std::tuple(int{nvme.busType}, int{usb.busType}, usb.model, usb.serial, usb.firmware,
                       usb.sectorCount, usb.usbSpeed, usb.usbVendorId, usb.usbProductId,
                       usb.usbVendor, usb.usbRevision),
            std::tuple(17, 7, "Kingston DataTraveler 3.0", "60a44c413a8cf1a0b9390030", "",
                       60437492u, "High speed", 0x0951u, 0x1666u, "Kingston", "PMAP"));
  // The stick's appearance: its USB device folder with bus and device number.
  const std::optional<UsbDiskFacts> stick = disks.UsbDiskOf(3);
  ASSERT_TRUE(stick && !disks.UsbDiskOf(1));
  EXPECT_EQ(std::tuple(stick->directAccess, stick->speed,
                       stick->appearance.substr(stick->appearance.rfind("/usb1/"))),
            std::tuple(true, "480", "/usb1/1-2#1.4"));
  const DriveList list = RefreshDriveList(disks, nullptr);
  ASSERT_EQ(list.unreachableUsbDisks.size(), 1u);
  EXPECT_EQ(list.unreachableUsbDisks[0].reason.rfind(
                "S.M.A.R.T. is not reachable through this USB bridge (VID:PID 0951:1666): ", 0),
            0u);
}

// Forwards to a simulated machine; tests change single answers or unplug a drive between passes.
class ScriptedDiskSystem : public DiskSystem {
 public:
  explicit ScriptedDiskSystem(SimulatedMachine& machine) : machine_(machine) {}
  void Rescan() override { machine_.Rescan(); }
  std::vector<VolumeFacts> ListVolumes() override {
    return After("volumes", machine_.ListVolumes());
  }
  bool ListStorageInterfaces(std::vector<StorageInterfaceFacts>* interfaces,
                             std::string* message) override {
    return !failInterfaces &&
           After("interfaces", machine_.ListStorageInterfaces(interfaces, message));
  }
  std::vector<UsbDeviceFacts> ListUsbDevices() override {
    return usbDevices ? *usbDevices : machine_.ListUsbDevices();
  }
  bool QueryStorageDescriptor(int n, StorageDescriptorFacts* facts) override {
    return machine_.QueryStorageDescriptor(n, facts);
  }
  std::unique_ptr<AtaDevice> Open(int n, const AtaOpenMode& mode, std::string* message) override {
    auto device = machine_.Open(n, mode, message);
    return device ? After("open", std::move(device)) : nullptr;
  }
  Status CheckAccess() override { return Status::Ok(); }

  std::function<void(const std::string&)> after;  // told after each pass named above
  bool failInterfaces = false;
  std::optional<std::vector<UsbDeviceFacts>> usbDevices;

 private:
  template <typename T>
  T After(const std::string& what, T value) {
    if (after)
      after(what);
    return value;
  }
  SimulatedMachine& machine_;
};

class EnumeratorEdgeTest : public ::testing::Test {
 protected:
  std::string Drive(const std::string& name) { return folder_.path() + name; }
  TempFolder folder_;
};

TEST_F(EnumeratorEdgeTest, DisksBeyondTheTwentySixthAreCutWithAWord) {
  for (int n = 0; n < 28; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "%02d-usb", n);
    testing::MakePlainDriveFolder(Drive(name), "bus_type=7\n");
  }
  auto machine = LoadMachine(folder_.path());
  ASSERT_TRUE(machine);
  std::vector<std::string> messages;
  DriveList list =
      RefreshDriveList(*machine, [&](std::string_view text) { messages.emplace_back(text); });
  EXPECT_EQ(list.enumeratedCount, 26);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("2 more disk(s) than the 26"), std::string::npos) << messages[0];
}

// Bus types 1-17 kept, 127 -> 18, others 0; ATA and SATA disks listed with volumes joined.
TEST_F(EnumeratorEdgeTest, BusTypesAreMappedAndVolumesJoined) {
  const int raw[] = {3, 11, 1, 17, 127, 200, 0, -5};
  const int mapped[] = {3, 11, 1, 17, 18, 0, 0, 0};
  std::string volumes[8] = {
      "volume_count=3\nvolume_1_mount=/\nvolume_1_label=root\nvolume_1_fs=ext4\n"
      "volume_2_mount=/var\nvolume_2_unreadable=1\nvolume_3_mount=/home\n"
      "volume_3_label=home\nvolume_3_fs=xfs\n",
      "volume_count=20\n"};
  for (int i = 1; i <= 20; ++i)
    volumes[1] +=
        "volume_" + std::to_string(i) + "_mount=/mnt/long-mount-point-" + std::to_string(i) + "\n";
  for (int n = 0; n < 8; ++n)
    testing::MakeAtaDriveFolder(Drive(std::to_string(n)), {.serial = "S"},
                                "bus_type=" + std::to_string(raw[n]) + "\n" + volumes[n]);
  auto machine = LoadMachine(folder_.path());
  ASSERT_TRUE(machine);
  DriveEnumerator enumerator(*machine, nullptr);
  enumerator.Enumerate();
  for (int n = 0; n < 8; ++n)
    EXPECT_EQ(enumerator.slot(n).busType, mapped[n]) << raw[n];
  DriveList list = RefreshDriveList(*machine, nullptr);
  ASSERT_EQ(list.driveIndexMap, (std::vector<int>{0, 1}));
  const DriveRecord& d = list.drives[0];  // unreadable volume information still gives the mount
  EXPECT_EQ(std::tuple(d.driveLetters, d.volumeLabels, d.fileSystems),
            std::tuple("/, /var, /home", "root, home", "ext4, xfs"));
  EXPECT_EQ(list.drives[1].driveLetters.size(), kDriveTextCapacity - 1);
  EXPECT_EQ(list.drives[1].driveLetters.rfind("/mnt/long-mount-point-1, ", 0), 0u);
}

TEST_F(EnumeratorEdgeTest, UsbIdsMatchBySerialIgnoringCaseAndAFailedInterfaceListIsSaid) {
  testing::MakePlainDriveFolder(Drive("0-usb"), "bus_type=7\nusb_serial=abc123\n");
  testing::MakePlainDriveFolder(Drive("1-usb"), "bus_type=7\nusb_serial=XYZ\n");
  testing::MakePlainDriveFolder(Drive("2-usb"), "bus_type=7\n");  // no serial: matches nothing
  testing::MakeAtaDriveFolder(Drive("3-a"), {.serial = "S1"});
  auto machine = LoadMachine(folder_.path());
  ASSERT_TRUE(machine);
  ScriptedDiskSystem disks(*machine);
  disks.usbDevices = std::vector<UsbDeviceFacts>{{"ABC123", true, 0x1234, 0x5678},
                                                 {"", false, 0x1111, 0x2222},
                                                 {"xyz", false, 0x0951, 0x1666}};
  DriveEnumerator enumerator(disks, nullptr);
  enumerator.Enumerate();
  EXPECT_EQ(std::tuple(enumerator.slot(0).usbSpeed, enumerator.slot(0).usbVendorId,
                       enumerator.slot(1).usbProductId,  // past a device without a serial
                       enumerator.slot(2).usbVendorId),
            std::tuple("Low speed", 0x1234u, 0x1666u, 0u));
  disks.failInterfaces = true;  // the other passes still run
  std::vector<std::string> messages;
  DriveList list =
      RefreshDriveList(disks, [&](std::string_view text) { messages.emplace_back(text); });
  EXPECT_EQ(std::tuple(messages, list.driveCount, list.drives.at(0).serial),
            std::tuple(std::vector<std::string>{"SetupDiGetClassDevs Failed."}, 1, "S1"));
}

TEST_F(EnumeratorEdgeTest, PassThroughIdentifyOnlyWhenNoDiskAnsweredTheSmartDriver) {
  testing::MakeAtaDriveFolder(Drive("0-a"), {.model = "QRA-X50", .serial = "S1"},
                              "fault_refuse_smart_driver=1\n");
  for (const char* second : {"fault_refuse_smart_driver=1\n", ""}) {
    SCOPED_TRACE(second);
    testing::MakeAtaDriveFolder(Drive("1-b"), {.model = "QRB-X52", .serial = "S2"}, second);
    auto machine = LoadMachine(folder_.path());
    ASSERT_TRUE(machine);
    DriveEnumerator enumerator(*machine, nullptr);
    enumerator.Enumerate();
    const bool asked = *second != '\0';  // disk 1 answered the SMART driver: disk 0 not asked
    EXPECT_EQ(std::tuple(enumerator.identifyCount(), enumerator.slot(0).serial,
                         enumerator.slot(1).serial, enumerator.GetPhysicalDriveNumber(2),
                         enumerator.slot(2).driveNumber),  // unused slots stay cleared
              std::tuple(asked ? 2 : 1, asked ? "S1" : "", "S2", -1, -1));
  }
}

// One card reader per bridge kind, enumerated twice, then the given-up ones replugged.
TEST_F(EnumeratorEdgeTest, DisksBehindUsbBridges) {
  struct Case {
    const char* bridge;
    int blocks;  // sent through the bridge by the first enumeration, by the second
    int blocksAgain;
    const char* reason;  // "" when kept
  };
  const Case cases[] = {
      {"usb_bridge=sat16", 1, 2, ""},
      {"usb_bridge=sat12", 2, 3, ""},  // 16 rejected once, then 12 only
      {"usb_bridge=none", 2, 2, "it rejected ATA PASS-THROUGH (16) and (12) with ILLEGAL REQUEST"},
      {"usb_bridge=timeout", 1, 1, "timed out after 5000 ms"},  // probed once, never again
      {"scsi_type=5", 0, 0, "not a direct-access disk (SCSI device type 5)"}};
  for (int n = 0; n < 5; ++n) {
    const std::string i = std::to_string(n);
    testing::MakeAtaDriveFolder(Drive(i), {.model = "CARD " + i, .serial = "C" + i},
                                "bus_type=7\nusb_serial=READER" + i + "\nusb_vendor_id=0x46f4\n" +
                                    "usb_product_id=0x000" + i + "\nusb_speed=5000\n" +
                                    "vendor=Generic\nproduct=Reader\n" + cases[n].bridge + "\n");
  }
  auto machine = LoadMachine(folder_.path());
  ASSERT_TRUE(machine);
  const DriveList first = RefreshDriveList(*machine, nullptr);
  const DriveList again = RefreshDriveList(*machine, nullptr);
  ASSERT_EQ(again.driveIndexMap, (std::vector<int>{0, 1}));
  for (const DriveRecord& d : again.drives) {  // the card's identity, the reader's USB fields
    const std::string i = std::to_string(d.driveNumber);
    EXPECT_EQ(std::tuple(d.model.substr(0, 6), d.serial, d.usbSpeed, d.usbVendorId, d.usbVendor),
              std::tuple("CARD " + i, "C" + i, "SuperSpeed", 0x46f4u, "Generic"));
  }
  ASSERT_EQ(std::tuple(first.unreachableUsbDisks.size(), again.unreachableUsbDisks.size()),
            std::tuple(3u, 3u));
  for (int n = 0; n < 5; ++n) {
    SCOPED_TRACE(cases[n].bridge);
    if (n >= 2) {
      const UnreachableUsbDisk& u = again.unreachableUsbDisks[static_cast<std::size_t>(n - 2)];
      EXPECT_EQ(std::tuple(u.driveNumber, u.name), std::tuple(n, "Generic Reader"));
      const std::string start =
          "S.M.A.R.T. is not reachable through this USB bridge (VID:PID "
          "46f4:000" +
          std::to_string(n) + "): ";
      EXPECT_EQ(u.reason.rfind(start, 0), 0u) << u.reason;
      EXPECT_NE(u.reason.find(cases[n].reason), std::string::npos) << u.reason;
    }
    EXPECT_EQ(machine->BridgeBlocksSent(n), cases[n].blocksAgain);
    machine->SetPresent(n, false);  // replugged: a new appearance is probed afresh
    machine->SetPresent(n, true);
  }
  RefreshDriveList(*machine, nullptr);
  for (int n = 0; n < 5; ++n)
    EXPECT_EQ(machine->BridgeBlocksSent(n), cases[n].blocks) << cases[n].bridge;
}

// A card moved from one reader to another stays one disk; a log read the bridge rejects
// is marked for that log only, and nothing that writes goes through.
TEST_F(EnumeratorEdgeTest, CardMovedBetweenReadersAndRejectedLogs) {
  for (const char* reader : {"0-reader-a", "1-reader-b"}) {
    testing::MakeAtaDriveFolder(Drive(reader), {.model = "CFAST 64GB", .serial = "CF77"},
                                std::string("bus_type=7\nusb_bridge_rejects_logs=1\n") +
                                    "usb_serial=R" + reader[0] + "\n" +
                                    (reader[0] == '1' ? "present=0\n" : ""));
  }
  auto machine = LoadMachine(folder_.path());
  ASSERT_TRUE(machine);
  const DriveList inA = RefreshDriveList(*machine, nullptr);
  machine->SetPresent(0, false);
  machine->SetPresent(1, true);
  const DriveList inB = RefreshDriveList(*machine, nullptr);
  ASSERT_EQ(std::tuple(inA.driveIndexMap, inB.driveIndexMap),
            std::tuple(std::vector<int>{0}, std::vector<int>{1}));
  EXPECT_EQ(HistoryFolderName(inA.drives[0].model, inA.drives[0].serial),
            HistoryFolderName(inB.drives[0].model, inB.drives[0].serial));

  std::string message;
  auto device = machine->Open(1, AtaOpenMode{}, &message);
  ASSERT_TRUE(device) << message;
  std::vector<std::uint8_t> sector(512);
  const auto send = [&](std::uint8_t features, std::uint8_t address, std::uint8_t command) {
    AtaCommand c{{features, 1, address, 0x4F, 0xC2, 0xA0, command},
                 {},
                 false,
                 AtaProtocol::kPioDataIn,
                 sector};
    return device->Execute(c);
  };
  EXPECT_FALSE(send(0xD5, 0x06, kAtaSmart).transportOk);  // SMART READ LOG 06h rejected
  EXPECT_TRUE(device->BridgeRefusedLog(0x06) && !device->BridgeRefusedLog(0x01));
  std::vector<std::uint8_t> log;  // the log reader asks the bridge no more
  EXPECT_FALSE(ReadLogPages(*device, inB.drives[0].identifyWords, 0x06, 0, 1, &log, &message));
  EXPECT_NE(message.find("the USB bridge does not carry it"), std::string::npos) << message;
  EXPECT_TRUE(send(0xD0, 0, kAtaSmart).transportOk);  // the bridge still passes the rest
  const AtaResult write = send(0, 0, kAtaWriteSectors);
  EXPECT_EQ(std::tuple(write.transportOk, write.osError), std::tuple(false, EPERM));
  EXPECT_TRUE(device->PassThroughAvailable());
}

TEST_F(EnumeratorEdgeTest, DiskUnpluggedBetweenPasses) {
  struct Case {
    const char* after;  // the pass after which drive 1 disappears
    int occurrence;     // ... at its n-th call
    int kept;
    bool identified;
  };
  const Case cases[] = {{"volumes", 1, 1, false},
                        {"interfaces", 1, 1, false},
                        {"open", 1, 1, false},  // gone before its IDENTIFY
                        {"open", 2, 1, true}};  // identified, gone before its descriptor
  for (const Case& c : cases) {
    TempFolder folder;
    testing::MakeAtaDriveFolder(folder.path() + "0-a",
                                {.model = "A", .serial = "S1", .firmware = "F", .sectors = 10},
                                "volume_count=1\nvolume_1_mount=/a\n");
    testing::MakeAtaDriveFolder(folder.path() + "1-b",
                                {.model = "B", .serial = "S2", .firmware = "F", .sectors = 10},
                                "volume_count=1\nvolume_1_mount=/b\n");
    auto machine = LoadMachine(folder.path());
    ASSERT_TRUE(machine);
    ScriptedDiskSystem disks(*machine);
    int calls = 0;
    disks.after = [&](const std::string& pass) {
      if (pass == c.after && ++calls == c.occurrence)
        machine->SetPresent(1, false);
    };
    DriveEnumerator enumerator(disks, nullptr);
    enumerator.Enumerate();
    EXPECT_EQ(enumerator.GetPhysicalDriveCount(), c.kept) << c.after;
    EXPECT_EQ(enumerator.slot(0).serial, "S1") << c.after;
    EXPECT_EQ(enumerator.slot(1).serial, c.identified ? "S2" : "") << c.after;
  }
}

}  // namespace
}  // namespace ds
