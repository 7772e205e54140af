#include "sheet/compound_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "sheet/xls_test_reader.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

// A FAT sector maps 128 sectors; 109 FAT sectors fit in the header, a DIFAT sector lists 127.
TEST(CompoundFileTest, ReaderGetsTheStreamBackWithTheTablesItNeeds) {
  TempFolder folder;
  // What, stream size, FAT sectors, DIFAT sectors; olefile checks the side of the cutoff.
  const std::tuple<const char*, std::size_t, unsigned, unsigned> cases[] = {
      {"one byte", 1, 1, 0},
      {"one mini sector", 64, 1, 0},
      {"one more than a mini sector", 65, 1, 0},
      {"just under the cutoff", 4095, 1, 0},
      {"at the cutoff", 4096, 1, 0},
      {"just over the cutoff", 4097, 1, 0},
      // 126 stream sectors + directory + FAT = 128: one FAT sector is full.
      {"first FAT sector full", 126 * 512, 1, 0},
      {"needs a second FAT sector", 126 * 512 + 1, 2, 0},
      // 109 FAT sectors cover 13952 sectors: 13842 for the stream.
      {"header slots full", 13842u * 512, 109, 0},
      {"first DIFAT sector", 13842u * 512 + 1, 110, 1},
      // 236 FAT + 1 DIFAT + directory + 29970 = 30208 = 236 * 128.
      {"DIFAT sector full", 29970u * 512, 236, 1},
      {"second DIFAT sector", 29970u * 512 + 1, 237, 2},
  };
  for (const auto& [what, size, fatSectors, difatSectors] : cases) {
    SCOPED_TRACE(what);
    std::string stream(size, '\0');  // content that shows misplaced sectors
    for (std::size_t i = 0; i < stream.size(); ++i)
      stream[i] = static_cast<char>((i * 131 + i / 512) & 0xFF);
    const CompoundFileLayout layout(stream.size());
    StringSink sink;
    layout.WritePrefix(sink), sink.Write(stream.data(), stream.size()), layout.WriteSuffix(sink);
    EXPECT_EQ(sink.bytes().size(), layout.fileSize());
    std::ofstream(folder.path() + "file", std::ios::binary) << sink.bytes();
    const testing::CompoundFile read = testing::ReadCompoundFile(folder.path() + "file");
    ASSERT_EQ(read.error, "");
    EXPECT_EQ(std::pair(read.fatSectors, read.difatSectors), std::pair(fatSectors, difatSectors));
    EXPECT_TRUE(read.workbook == stream) << "stream content differs";
  }
}

}  // namespace
}  // namespace ds
