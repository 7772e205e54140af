#pragma once

// Test-side readers of what the workbook writer produces: a compound file reader that
// follows the header, DIFAT, FAT and mini FAT to get a stream back, and a BIFF record
// splitter. Written from the published formats, independently of the writer's layout code.

#include <cstdint>
#include <string>
#include <vector>

namespace ds::testing {

inline std::uint32_t Le16(const std::string& b, std::size_t at) {
  return static_cast<unsigned char>(b.at(at)) | static_cast<unsigned char>(b.at(at + 1)) << 8;
}
inline std::uint32_t Le32(const std::string& b, std::size_t at) {
  return Le16(b, at) | Le16(b, at + 2) << 16;
}

// What ReadCompoundFile found; `error` is empty when the file is sound.
struct CompoundFile {
  std::string error;
  std::uint32_t minorVersion = 0;
  std::uint32_t majorVersion = 0;
  std::uint32_t fatSectors = 0;
  std::uint32_t difatSectors = 0;
  std::vector<std::string> entryNames;  // directory entries in use
  bool inMiniStream = false;
  std::string workbook;  // the "Workbook" stream
};

inline CompoundFile ReadCompoundFile(const std::string& file) {
  constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFat = 0xFFFFFFFD,
                          kDif = 0xFFFFFFFC;
  CompoundFile out;
  const auto fail = [&](const std::string& what) {
    out.error = what;
    return out;
  };
  if (file.size() < 512 || file.size() % 512 != 0)
    return fail("size is not a whole number of sectors");
  if (file.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") != 0)
    return fail("signature");
  out.minorVersion = Le16(file, 24);
  out.majorVersion = Le16(file, 26);
  if (Le16(file, 28) != 0xFFFE || Le16(file, 30) != 9 || Le16(file, 32) != 6 ||
      Le32(file, 56) != 4096)
    return fail("byte order, sector sizes or cutoff");
  const std::size_t sectorCount = file.size() / 512 - 1;
  const auto sector = [&](std::uint32_t n) { return file.substr(512 + std::size_t{n} * 512, 512); };
  out.fatSectors = Le32(file, 44);
  out.difatSectors = Le32(file, 72);

  // FAT sector numbers: 109 in the header, the rest in the DIFAT chain.
  std::vector<std::uint32_t> fatList;
  for (int i = 0; i < 109; ++i) {
    const std::uint32_t n = Le32(file, 76 + 4 * i);
    if (n != kFree)
      fatList.push_back(n);
  }
  std::uint32_t difat = Le32(file, 68);
  for (std::uint32_t k = 0; k < out.difatSectors; ++k) {
    if (difat >= sectorCount)
      return fail("DIFAT chain leaves the file");
    const std::string s = sector(difat);
    for (int i = 0; i < 127; ++i) {
      const std::uint32_t n = Le32(s, 4 * i);
      if (n != kFree)
        fatList.push_back(n);
    }
    difat = Le32(s, 508);
  }
  if (difat != kEnd)
    return fail("DIFAT chain does not end");
  if (fatList.size() != out.fatSectors)
    return fail("FAT sector count differs from the listed sectors");
  std::vector<std::uint32_t> fat;
  for (std::uint32_t n : fatList) {
    if (n >= sectorCount)
      return fail("FAT sector outside the file");
    const std::string s = sector(n);
    for (int i = 0; i < 128; ++i)
      fat.push_back(Le32(s, 4 * i));
  }
  if (fat.size() < sectorCount)
    return fail("FAT does not cover the file");
  for (std::uint32_t n : fatList) {
    if (fat[n] != kFat)
      return fail("FAT sector not marked as such");
  }
  std::size_t difatMarked = 0;
  for (std::uint32_t n = 0; n < sectorCount; ++n)
    difatMarked += fat[n] == kDif ? 1 : 0;
  if (difatMarked != out.difatSectors)
    return fail("DIFAT sectors not marked as such");

  std::vector<bool> used(sectorCount, false);
  const auto chain = [&](std::uint32_t start, std::string* bytes) {
    for (std::uint32_t n = start; n != kEnd;) {
      if (n >= sectorCount || used[n])
        return false;
      used[n] = true;
      *bytes += sector(n);
      n = fat[n];
    }
    return true;
  };
  std::string directory;
  if (!chain(Le32(file, 48), &directory))
    return fail("directory chain");
  std::uint32_t rootStart = kEnd, rootSize = 0, bookStart = kEnd, bookSize = 0;
  bool bookFound = false;
  for (std::size_t at = 0; at + 128 <= directory.size(); at += 128) {
    const std::uint32_t type = static_cast<unsigned char>(directory[at + 66]);
    if (type == 0)
      continue;
    const std::uint32_t nameBytes = Le16(directory, at + 64);
    std::string name;
    for (std::uint32_t i = 0; i + 2 < nameBytes; i += 2)
      name += static_cast<char>(Le16(directory, at + i));
    out.entryNames.push_back(name);
    if (type == 5) {
      rootStart = Le32(directory, at + 116);
      rootSize = Le32(directory, at + 120);
    } else if (name == "Workbook" && type == 2) {
      bookFound = true;
      bookStart = Le32(directory, at + 116);
      bookSize = Le32(directory, at + 120);
    }
  }
  if (!bookFound)
    return fail("no Workbook stream");
  out.inMiniStream = bookSize < 4096;
  if (out.inMiniStream) {
    std::string miniFatBytes, miniStream;
    if (!chain(Le32(file, 60), &miniFatBytes) || !chain(rootStart, &miniStream))
      return fail("mini FAT or mini stream chain");
    if (miniStream.size() < rootSize)
      return fail("mini stream shorter than the root entry says");
    for (std::uint32_t n = bookStart; n != kEnd;) {
      if (4 * std::size_t{n} + 4 > miniFatBytes.size() || 64 * std::size_t{n} + 64 > rootSize)
        return fail("mini chain leaves the mini stream");
      out.workbook += miniStream.substr(64 * std::size_t{n}, 64);
      n = Le32(miniFatBytes, 4 * n);
    }
  } else if (!chain(bookStart, &out.workbook)) {
    return fail("stream chain");
  }
  if (out.workbook.size() < bookSize)
    return fail("stream chain shorter than its size");
  out.workbook.resize(bookSize);
  for (std::uint32_t n = 0; n < sectorCount; ++n) {
    const bool inNoChain = fat[n] == kFat || fat[n] == kDif || fat[n] == kFree;
    if (used[n] == inNoChain)
      return fail("sector " + std::to_string(n) + " is marked unlike its use");
  }
  return out;
}

// One BIFF record of a stream.
struct Record {
  std::size_t offset;
  std::uint32_t type;
  std::string body;
};

inline std::vector<Record> SplitRecords(const std::string& stream) {
  std::vector<Record> records;
  for (std::size_t at = 0; at + 4 <= stream.size();) {
    const std::uint32_t size = Le16(stream, at + 2);
    records.push_back({at, Le16(stream, at), stream.substr(at + 4, size)});
    at += 4 + size;
  }
  return records;
}

}  // namespace ds::testing
