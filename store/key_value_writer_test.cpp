#include "store/key_value_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <tuple>
#include <utility>

#include "platform/file_system.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(IniFileReader, MissingOversizedFolderAndGarbageFilesGiveEmptyLists) {
  TempFolder folder;
  const std::string big = folder.path() + "big.dat";
  std::ofstream(big) << "A=1\n";
  std::filesystem::resize_file(big, kMaxTextFileBytes + 10);
  for (const std::string& path : {folder.path() + "absent.dat", big, folder.path()}) {
    IniFileReader reader = ReadKeyValueFile(path);
    EXPECT_TRUE(!reader.loaded() && reader.keys().empty()) << path;
  }
  std::string garbage;
  for (int i = 0; i < 4096; ++i)
    garbage += static_cast<char>((i * 131) & 0xFF);
  const IniFileReader parsed = IniFileReader::FromText(garbage);  // must not crash
  for (const std::string& key : parsed.keys())
    EXPECT_EQ(key.find('='), std::string::npos);
}

TEST(KeyValueWriter, WritesCrLfLinesThatReadBackOrNoFileAtAll) {
  TempFolder folder;
  KeyValueWriter writer;
  writer.Add("To", "a\nb"), writer.Add("Disk_Sel", 3), writer.Add("Odd", "x\ry\r\nz");
  EXPECT_EQ(writer.text(), "To=a\r\nb\r\nDisk_Sel=3\r\nOdd=x\r\ny\r\nz\r\n");

  std::string message;
  const std::string path = folder.path() + "out.dat";
  ASSERT_TRUE(writer.Save(path, FileAccess::kOwnerOnly, &message)) << message;
  EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  IniFileReader reader = ReadKeyValueFile(path);
  EXPECT_EQ(reader.lookup("To") + reader.lookup("Disk_Sel"), "a3");  // line "b" has no "="
  EXPECT_FALSE(writer.Save(folder.path() + "missing/out.dat", FileAccess::kShared, &message));
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

// The same text with the same rights is not written again (the file keeps its inode).
TEST(KeyValueWriter, AnUnchangedFileIsNotWrittenAgain) {
  TempFolder folder;
  const std::string path = folder.path() + "out.dat";
  std::string message;
  ino_t inode = 0;
  // value, owner only, written
  for (auto [value, owner, written] :
       {std::tuple{1, false, true}, {1, false, false}, {1, true, true}, {2, true, true}}) {
    KeyValueWriter writer;
    writer.Add("A", value);
    struct stat status {};
    ASSERT_TRUE(writer.Save(path, owner ? FileAccess::kOwnerOnly : FileAccess::kShared, &message));
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(std::exchange(inode, status.st_ino) != status.st_ino, written) << value << owner;
  }
}

}  // namespace
}  // namespace ds
