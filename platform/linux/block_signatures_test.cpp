#include "platform/linux/block_signatures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/linux/linux_disk_system.h"
#include "platform/process_launcher.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

namespace fs = std::filesystem;

int RunTool(const std::vector<std::string>& argv, const std::string& input = "") {
  ChildProcess child;
  std::string message;
  const bool ran = child.Start(argv, input, &message) && child.WaitFor(std::chrono::seconds(60));
  return ran ? child.exitCode() : -1;
}

void WriteText(const std::string& path, const std::string& text, std::uintmax_t size = 0) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  fs::resize_file(path, std::max<std::uintmax_t>(size, text.size()));
}

// An LVM label for sector 1: magic, sector, CRC-32 (seed 0xf597a6cf), offset, "LVM2 001", UUID.
const std::string kLvmLabel =
    std::string("LABELONE\1\0\0\0\0\0\0\0\xe0\x77\xfe\x3b\x20\0\0\0", 24) +
    "LVM2 001Wq1ZkdP2cGc6yv3LQzDDuo9XSRLCcEkB" + std::string(448, '\0');

TEST(BlockSignaturesTest, FindsWhatToolsLeaveOnImageFiles) {
  TempFolder folder;
  const std::vector<std::string> sfdisk = {"/usr/sbin/sfdisk", "-q", "--no-reread",
                                           "--no-tell-kernel"};
  // Name, the tool run on the image (its path appended), the tool's input, the signature.
  const std::tuple<std::string, std::vector<std::string>, const char*, const char*> cases[] = {
      {"dos", sfdisk, "label: dos\n,,L\n", "partition table dos"},
      {"ext4", {"/usr/sbin/mkfs.ext4", "-F", "-q"}, "", "ext4"},
      {"lvm", {}, "", "LVM2_member"}};
  std::vector<std::string> found;
  std::string message;
  for (const auto& [name, tool, input, signature] : cases) {
    const std::string image = folder.path() + name + ".img";
    WriteText(image, "", 8 << 20);  // 8 MiB of zeros
    std::vector<std::string> argv = tool;
    argv.push_back(image);
    ASSERT_EQ(tool.empty() ? 0 : RunTool(argv, input), 0) << argv[0];
    if (name == "lvm")
      std::fstream(image, std::ios::binary | std::ios::in | std::ios::out).seekp(512) << kLvmLabel;
    ASSERT_TRUE(ProbeBlockSignatures(image, &found, &message)) << message;
    EXPECT_EQ(found, std::vector<std::string>{signature}) << name;
  }
  EXPECT_FALSE(ProbeBlockSignatures(folder.path() + "missing.img", &found, &message));
  EXPECT_NE(message.find("missing.img"), std::string::npos);
}

// Image-file disks: "sdy" unused; "sdz" with a swap partition held, mounted, swapped on, open.
TEST(DiskUsesTest, EveryUseIsFoundAndABlankDiskHasNone) {
  TempFolder root;
  const std::string r = root.path();
  for (const char* name : {"sdy", "sdz", "sdz1"}) {
    const std::string parent = name == std::string("sdz1") ? "sdz/" : "";
    const std::string sys = r + "sys/devices/ata1/" + parent + name;
    fs::create_directories(sys + "/holders");
    WriteText(sys + "/dev", name == std::string("sdy") ? "8:16\n" : name[3] ? "8:1\n" : "8:0\n");
    WriteText(r + "dev/" + name, "", 8 << 20);
  }
  fs::create_directories(r + "sys/block");
  fs::create_symlink("../devices/ata1/sdy", r + "sys/block/sdy");
  fs::create_symlink("../devices/ata1/sdz", r + "sys/block/sdz");
  WriteText(r + "sys/devices/ata1/sdz/sdz1/partition", "1\n");
  fs::create_directories(r + "sys/devices/ata1/sdz/sdz1/holders/dm-0");
  ASSERT_EQ(RunTool({"/usr/sbin/mkswap", "-q", r + "dev/sdz1"}), 0);
  fs::create_directories(r + "proc/424242/fd");
  WriteText(r + "proc/self/mountinfo",
            "36 35 8:1 / /mnt/x rw,relatime shared:1 - ext4 /dev/sdz1 rw\n"
            "37 35 8:32 / /mnt/y rw,relatime shared:1 - ext4 /dev/sdc rw\n");
  WriteText(r + "proc/swaps", "Filename Type Size Used Priority\n/dev/sdz1 partition 4 0 -2\n");
  fs::create_symlink(r + "dev/sdz", r + "proc/424242/fd/3");
  WriteText(r + "proc/424242/comm", "holder\n");

  LinuxDiskSystem disks(r);
  EXPECT_EQ(disks.DiskKey(1), r + "dev/sdz");
  EXPECT_TRUE(disks.FindDiskUses(0).empty());
  std::vector<std::pair<DiskUse::Kind, std::string>> found;
  for (const DiskUse& use : disks.FindDiskUses(1))
    found.emplace_back(use.kind, use.detail);
  using Kind = DiskUse::Kind;
  EXPECT_EQ(found, (std::vector<std::pair<DiskUse::Kind, std::string>>{
                       {Kind::kPartition, "partition sdz1"},
                       {Kind::kHolder, "sdz1 is used by dm-0"},
                       {Kind::kSignature, "swap signature on " + r + "dev/sdz1"},
                       {Kind::kMount, "/dev/sdz1 is mounted on /mnt/x"},
                       {Kind::kMount, "/dev/sdz1 is in use as swap"},
                       {Kind::kOpenElsewhere, "process 424242 (holder) has " + r + "dev/sdz open"},
                   }));
  const std::vector<DiskUse> unknown = disks.FindDiskUses(2);  // no such disk: cannot be checked
  EXPECT_TRUE(unknown.size() == 1 && unknown[0].kind == Kind::kNotChecked);

  // A busy disk opens for the eraser only (whose open fails here: an image is no device).
  BusyMark mark = disks.MarkBusy(0);
  ASSERT_TRUE(mark);
  std::string message;
  EXPECT_FALSE(disks.Open(0, AtaOpenMode{}, &message));
  EXPECT_NE(message.find("being erased"), std::string::npos);
  EXPECT_FALSE(disks.Open(0, AtaOpenMode{.eraserAccess = true}, &message));
  EXPECT_EQ(message.find("being erased"), std::string::npos);
}

}  // namespace
}  // namespace ds
