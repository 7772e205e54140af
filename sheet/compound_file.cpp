#include "sheet/compound_file.h"

#include <string_view>

namespace ds {
namespace {

constexpr std::uint32_t kFatEntriesPerSector = CompoundFileLayout::kSectorBytes / 4;
// A DIFAT sector lists 127 FAT sectors and ends with the next DIFAT sector's number.
constexpr std::uint32_t kDifatEntriesPerSector = kFatEntriesPerSector - 1;
constexpr unsigned kObjectStorageRoot = 5;
constexpr unsigned kObjectStream = 2;
constexpr unsigned kColourBlack = 1;

std::uint32_t DivideRoundingUp(std::uint64_t value, std::uint64_t unit) {
  return static_cast<std::uint32_t>((value + unit - 1) / unit);
}

void WriteString(ByteSink& sink, const std::string& bytes) {
  sink.Write(bytes.data(), bytes.size());
}

void WriteZeros(ByteSink& sink, std::uint64_t count) {
  static constexpr char kZeros[512] = {};
  while (count > 0) {
    const std::uint64_t now = count < sizeof kZeros ? count : sizeof kZeros;
    sink.Write(kZeros, static_cast<std::size_t>(now));
    count -= now;
  }
}

// One 128-byte directory entry.
std::string DirectoryEntry(std::u16string_view name, unsigned type, std::uint32_t child,
                           std::uint32_t start, std::uint32_t size) {
  std::string entry;
  entry.reserve(128);
  for (char16_t c : name)
    Put16(entry, c);
  entry.resize(64, '\0');  // name field, zero-terminated and zero-filled
  Put16(entry, static_cast<unsigned>((name.size() + 1) * 2));
  Put8(entry, type);
  Put8(entry, kColourBlack);
  Put32(entry, CompoundFileLayout::kNoStream);  // left sibling
  Put32(entry, CompoundFileLayout::kNoStream);  // right sibling
  Put32(entry, child);
  entry.resize(entry.size() + 16 + 4 + 8 + 8, '\0');  // class id, state bits, times
  Put32(entry, start);
  Put32(entry, size);
  Put32(entry, 0);  // high half of the size, always zero in version 3
  return entry;
}

std::string UnusedDirectoryEntry() {
  std::string entry(68, '\0');
  Put32(entry, CompoundFileLayout::kNoStream);
  Put32(entry, CompoundFileLayout::kNoStream);
  Put32(entry, CompoundFileLayout::kNoStream);
  entry.resize(128, '\0');
  return entry;
}

}  // namespace

CompoundFileLayout::CompoundFileLayout(std::uint64_t streamSize)
    : streamSize_(streamSize), mini_(streamSize < kMiniStreamCutoff) {
  if (mini_) {
    // FAT, directory, mini FAT, then the mini stream in regular sectors.
    miniSectors_ = DivideRoundingUp(streamSize, kMiniSectorBytes);
    dataSectors_ = DivideRoundingUp(std::uint64_t{miniSectors_} * kMiniSectorBytes, kSectorBytes);
    fatSectors_ = 1;
    difatSectors_ = 0;
    directorySector_ = 1;
    miniFatSector_ = 2;
    dataStart_ = 3;
    return;
  }
  dataSectors_ = DivideRoundingUp(streamSize, kSectorBytes);
  // The FAT must also describe its own sectors and the DIFAT sectors; grow until it does.
  fatSectors_ = 1;
  for (;;) {
    difatSectors_ = fatSectors_ > kHeaderDifatSlots
                        ? DivideRoundingUp(fatSectors_ - kHeaderDifatSlots, kDifatEntriesPerSector)
                        : 0;
    const std::uint64_t total = std::uint64_t{fatSectors_} + difatSectors_ + 1 + dataSectors_;
    const std::uint32_t needed = DivideRoundingUp(total, kFatEntriesPerSector);
    if (needed <= fatSectors_)
      break;
    fatSectors_ = needed;
  }
  directorySector_ = fatSectors_ + difatSectors_;
  dataStart_ = directorySector_ + 1;
}

std::uint64_t CompoundFileLayout::fileSize() const {
  return kSectorBytes + std::uint64_t{kSectorBytes} * (dataStart_ + dataSectors_);
}

std::uint32_t CompoundFileLayout::FatEntry(std::uint32_t sector) const {
  if (sector < fatSectors_)
    return kFatSector;
  if (sector < fatSectors_ + difatSectors_)
    return kDifatSector;
  if (sector == directorySector_ || sector == miniFatSector_)
    return kEndOfChain;
  if (sector >= dataStart_ && sector < dataStart_ + dataSectors_)
    return sector + 1 == dataStart_ + dataSectors_ ? kEndOfChain : sector + 1;
  return kFreeSector;
}

void CompoundFileLayout::WritePrefix(ByteSink& sink) const {
  WriteHeader(sink);
  WriteFat(sink);
  WriteDifat(sink);
  WriteDirectory(sink);
  if (mini_)
    WriteMiniFat(sink);
}

void CompoundFileLayout::WriteSuffix(ByteSink& sink) const {
  const std::uint64_t used = streamSize_ % kSectorBytes;
  if (used != 0)
    WriteZeros(sink, kSectorBytes - used);
}

void CompoundFileLayout::WriteHeader(ByteSink& sink) const {
  std::string header;
  header.reserve(kSectorBytes);
  static constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  header.append(reinterpret_cast<const char*>(kSignature), sizeof kSignature);
  header.append(16, '\0');  // class id
  Put16(header, 0x003B);    // minor version
  Put16(header, 3);         // major version
  Put16(header, 0xFFFE);    // byte order mark
  Put16(header, 9);         // sector shift: 512-byte sectors
  Put16(header, 6);         // mini sector shift: 64-byte mini sectors
  header.append(6, '\0');   // reserved
  Put32(header, 0);         // directory sector count, always zero in version 3
  Put32(header, fatSectors_);
  Put32(header, directorySector_);
  Put32(header, 0);  // transaction signature
  Put32(header, kMiniStreamCutoff);
  Put32(header, mini_ ? miniFatSector_ : kEndOfChain);
  Put32(header, mini_ ? 1 : 0);
  Put32(header, difatSectors_ > 0 ? fatSectors_ : kEndOfChain);  // first DIFAT sector
  Put32(header, difatSectors_);
  for (std::uint32_t slot = 0; slot < kHeaderDifatSlots; ++slot)
    Put32(header, slot < fatSectors_ ? slot : kFreeSector);  // FAT sectors are 0, 1, 2, ...
  WriteString(sink, header);
}

void CompoundFileLayout::WriteFat(ByteSink& sink) const {
  std::string sector;
  sector.reserve(kSectorBytes);
  for (std::uint32_t fatSector = 0; fatSector < fatSectors_; ++fatSector) {
    sector.clear();
    for (std::uint32_t i = 0; i < kFatEntriesPerSector; ++i)
      Put32(sector, FatEntry(fatSector * kFatEntriesPerSector + i));
    WriteString(sink, sector);
  }
}

void CompoundFileLayout::WriteDifat(ByteSink& sink) const {
  std::string sector;
  sector.reserve(kSectorBytes);
  std::uint32_t nextFat = kHeaderDifatSlots;
  for (std::uint32_t k = 0; k < difatSectors_; ++k) {
    sector.clear();
    for (std::uint32_t i = 0; i < kDifatEntriesPerSector; ++i, ++nextFat)
      Put32(sector, nextFat < fatSectors_ ? nextFat : kFreeSector);
    const bool last = k + 1 == difatSectors_;
    Put32(sector, last ? kEndOfChain : fatSectors_ + k + 1);
    WriteString(sink, sector);
  }
}

void CompoundFileLayout::WriteDirectory(ByteSink& sink) const {
  const auto size = static_cast<std::uint32_t>(streamSize_);
  std::string sector;
  sector.reserve(kSectorBytes);
  if (mini_) {
    sector += DirectoryEntry(u"Root Entry", kObjectStorageRoot, 1, dataStart_,
                             miniSectors_ * kMiniSectorBytes);
    sector += DirectoryEntry(u"Workbook", kObjectStream, kNoStream, 0, size);
  } else {
    sector += DirectoryEntry(u"Root Entry", kObjectStorageRoot, 1, kEndOfChain, 0);
    sector += DirectoryEntry(u"Workbook", kObjectStream, kNoStream, dataStart_, size);
  }
  sector += UnusedDirectoryEntry();
  sector += UnusedDirectoryEntry();
  WriteString(sink, sector);
}

void CompoundFileLayout::WriteMiniFat(ByteSink& sink) const {
  std::string sector;
  sector.reserve(kSectorBytes);
  for (std::uint32_t i = 0; i < kFatEntriesPerSector; ++i) {
    std::uint32_t entry = kFreeSector;
    if (i < miniSectors_)
      entry = i + 1 == miniSectors_ ? kEndOfChain : i + 1;
    Put32(sector, entry);
  }
  WriteString(sink, sector);
}

}  // namespace ds
