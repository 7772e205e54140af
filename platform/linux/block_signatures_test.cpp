#include "platform/linux/block_signatures.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/linux/linux_disk_system.h"
#include "tests/temp_folder.h"

extern char** environ;

namespace ds {
namespace {

namespace fs = std::filesystem;

// Runs a tool (absolute path, no shell) with standard input from `input` ("" for
// /dev/null) and its output discarded; its exit status, -1 when it could not run.
int RunTool(const std::vector<std::string>& argv, const std::string& input = "") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.empty() ? "/dev/null" : input.c_str(),
                                   O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || ::waitpid(pid, &status, 0) < 0)
    return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A zero-filled image of `mib` MiB.
void MakeImage(const std::string& path, int mib) {
  std::ofstream(path, std::ios::binary | std::ios::trunc);
  fs::resize_file(path, static_cast<std::uintmax_t>(mib) << 20);
}

// An LVM physical volume label in sector 1: "LABELONE", its sector number, the CRC of
// the rest of the sector (LVM's CRC-32 variant, seeded with 0xf597a6cf), "LVM2 001".
void WriteLvmLabel(const std::string& path) {
  std::string sector(512, '\0');
  sector.replace(0, 8, "LABELONE");
  sector[8] = 1;
  sector[20] = 32;  // offset of the PV header
  sector.replace(24, 8, "LVM2 001");
  sector.replace(32, 32, "Wq1ZkdP2cGc6yv3LQzDDuo9XSRLCcEkB");
  std::uint32_t crc = 0xf597a6cf;
  for (std::size_t i = 20; i < 512; ++i) {
    crc ^= static_cast<std::uint8_t>(sector[i]);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0);
  }
  for (int i = 0; i < 4; ++i)
    sector[16 + i] = static_cast<char>(crc >> (8 * i));
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  file.seekp(512);
  file.write(sector.data(), 512);
}

TEST(BlockSignaturesTest, FindsWhatToolsLeaveOnImageFiles) {
  TempFolder folder;
  WriteText(folder.path() + "dos.sfdisk", "label: dos\n,,L\n");
  WriteText(folder.path() + "gpt.sfdisk", "label: gpt\n,,L\n");
  struct Case {
    const char* name;
    std::vector<std::string> tool;  // run on the image (its path appended)
    const char* input;
    const char* signature;  // "" for none
  };
  const Case cases[] = {
      {"blank", {}, "", ""},
      {"dos",
       {"/usr/sbin/sfdisk", "--quiet", "--no-reread", "--no-tell-kernel"},
       "dos.sfdisk",
       "partition table dos"},
      {"gpt",
       {"/usr/sbin/sfdisk", "--quiet", "--no-reread", "--no-tell-kernel"},
       "gpt.sfdisk",
       "partition table gpt"},
      {"ext4", {"/usr/sbin/mkfs.ext4", "-F", "-q"}, "", "ext4"},
      {"swap", {"/usr/sbin/mkswap"}, "", "swap"},
      {"lvm", {}, "", "LVM2_member"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string image = folder.path() + c.name + ".img";
    MakeImage(image, 8);
    if (!c.tool.empty()) {
      std::vector<std::string> argv = c.tool;
      argv.push_back(image);
      const std::string input = *c.input ? folder.path() + c.input : "";
      ASSERT_EQ(RunTool(argv, input), 0) << argv[0] << " (Debian packages fdisk, e2fsprogs)";
    }
    if (std::string(c.name) == "lvm")
      WriteLvmLabel(image);
    std::vector<std::string> signatures;
    std::string message;
    ASSERT_TRUE(ProbeBlockSignatures(image, &signatures, &message)) << message;
    if (*c.signature == '\0') {
      EXPECT_TRUE(signatures.empty()) << signatures.front();
    } else {
      EXPECT_NE(std::find(signatures.begin(), signatures.end(), c.signature), signatures.end())
          << (signatures.empty() ? "none" : signatures.front());
    }
  }
  std::vector<std::string> signatures;
  std::string message;
  EXPECT_FALSE(ProbeBlockSignatures(folder.path() + "missing.img", &signatures, &message));
  EXPECT_NE(message.find("missing.img"), std::string::npos);
}

// A root folder with one disk "sdz": sysfs entries, a device node played by an image
// file, mountinfo, swaps and a process that holds the disk open.
class DiskUsesTest : public ::testing::Test {
 protected:
  void AddDisk(const std::string& name, bool partitioned) {
    const std::string sys = root_.path() + "sys/devices/pci0000:00/ata1/block/" + name;
    fs::create_directories(sys);
    fs::create_directories(root_.path() + "sys/block");
    fs::create_directories(root_.path() + "dev");
    fs::create_directories(root_.path() + "proc/self");
    fs::create_symlink("../devices/pci0000:00/ata1/block/" + name,
                       root_.path() + "sys/block/" + name);
    WriteText(sys + "/dev", "8:0\n");
    MakeImage(root_.path() + "dev/" + name, 4);
    if (partitioned) {
      fs::create_directories(sys + "/" + name + "1/holders/dm-0");
      WriteText(sys + "/" + name + "1/partition", "1\n");
      WriteText(sys + "/" + name + "1/dev", "8:1\n");
      MakeImage(root_.path() + "dev/" + name + "1", 4);
      ASSERT_EQ(RunTool({"/usr/sbin/mkswap", root_.path() + "dev/" + name + "1"}), 0);
    }
  }
  TempFolder root_;
};

TEST_F(DiskUsesTest, EveryUseIsFound) {
  AddDisk("sdz", true);
  WriteText(root_.path() + "proc/self/mountinfo",
            "36 35 8:1 / /mnt/x rw,relatime shared:1 - ext4 /dev/sdz1 rw\n"
            "37 35 8:16 / /mnt/y rw,relatime shared:1 - ext4 /dev/sdb rw\n");
  WriteText(root_.path() + "proc/swaps",
            "Filename Type Size Used Priority\n/dev/sdz1 partition 4092 0 -2\n");
  fs::create_directories(root_.path() + "proc/424242/fd");
  fs::create_symlink(root_.path() + "dev/sdz", root_.path() + "proc/424242/fd/3");
  WriteText(root_.path() + "proc/424242/comm", "holder\n");

  LinuxDiskSystem disks(root_.path());
  EXPECT_EQ(disks.DiskKey(0), root_.path() + "dev/sdz");
  EXPECT_EQ(disks.DiskKey(1), "");
  std::map<DiskUse::Kind, std::vector<std::string>> found;
  for (const DiskUse& use : disks.FindDiskUses(0))
    found[use.kind].push_back(use.detail);
  using Kind = DiskUse::Kind;
  EXPECT_EQ(found[Kind::kPartition], std::vector<std::string>{"partition sdz1"});
  EXPECT_EQ(found[Kind::kHolder], std::vector<std::string>{"sdz1 is used by dm-0"});
  EXPECT_EQ(found[Kind::kSignature],
            std::vector<std::string>{"swap signature on " + root_.path() + "dev/sdz1"});
  EXPECT_EQ(found[Kind::kMount], (std::vector<std::string>{"/dev/sdz1 is mounted on /mnt/x",
                                                           "/dev/sdz1 is in use as swap"}));
  ASSERT_EQ(found[Kind::kOpenElsewhere].size(), 1u);
  EXPECT_NE(found[Kind::kOpenElsewhere][0].find("process 424242 (holder)"), std::string::npos);
  EXPECT_TRUE(found[Kind::kNotChecked].empty());
  EXPECT_TRUE(found[Kind::kNotExclusive].empty());  // an image file opens with O_EXCL
}

TEST_F(DiskUsesTest, BlankUnusedDiskHasNone) {
  AddDisk("sdz", false);
  LinuxDiskSystem disks(root_.path());
  for (const DiskUse& use : disks.FindDiskUses(0))
    ADD_FAILURE() << use.detail;
  const std::vector<DiskUse> none = disks.FindDiskUses(1);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].kind, DiskUse::Kind::kNotChecked);
  // A busy disk opens only for the eraser (the image is no device: the open is refused
  // for that reason instead).
  BusyMark mark = disks.MarkBusy(0);
  ASSERT_TRUE(mark);
  std::string message;
  EXPECT_FALSE(disks.Open(0, AtaOpenMode{}, &message));
  EXPECT_NE(message.find("being erased"), std::string::npos);
  AtaOpenMode eraser;
  eraser.eraserAccess = true;
  EXPECT_FALSE(disks.Open(0, eraser, &message));
  EXPECT_EQ(message.find("being erased"), std::string::npos);
}

}  // namespace
}  // namespace ds
