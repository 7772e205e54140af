#pragma once

#include <cstdint>
#include <string>

#include "sheet/byte_sink.h"

// Lays out a version-3 Compound File (512-byte sectors, 64-byte mini sectors, mini-stream
// cutoff 4096) whose root storage "Root Entry" holds exactly one stream, "Workbook".
//
// The layout depends only on the stream's size, so the file can be written front to back
// while the stream is being produced: WritePrefix() lays down the header, allocation tables
// and directory, the caller then writes exactly streamSize() stream bytes, and
// WriteSuffix() pads the last sector.
//
// Sector order: FAT sectors, DIFAT sectors (only when more than 109 FAT sectors are needed),
// the directory sector, then for a stream under 4096 bytes the mini FAT sector and the mini
// stream holding the stream in 64-byte mini sectors, otherwise the stream's own sectors.
namespace ds {

class CompoundFileLayout {
 public:
  static constexpr std::uint32_t kSectorBytes = 512;
  static constexpr std::uint32_t kMiniSectorBytes = 64;
  static constexpr std::uint32_t kMiniStreamCutoff = 4096;
  static constexpr std::uint32_t kHeaderDifatSlots = 109;
  // The largest stream written; version-3 files keep stream sizes below 2 GiB.
  static constexpr std::uint64_t kMaxStreamBytes = 0x7FFFFFFFu;

  static constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
  static constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
  static constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
  static constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
  static constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

  // `streamSize` must be at least 1 and at most kMaxStreamBytes.
  explicit CompoundFileLayout(std::uint64_t streamSize);

  std::uint64_t streamSize() const { return streamSize_; }
  bool usesMiniStream() const { return mini_; }
  std::uint32_t fatSectors() const { return fatSectors_; }
  std::uint32_t difatSectors() const { return difatSectors_; }
  // Size of the whole file.
  std::uint64_t fileSize() const;

  void WritePrefix(ByteSink& sink) const;
  void WriteSuffix(ByteSink& sink) const;

 private:
  std::uint32_t FatEntry(std::uint32_t sector) const;
  void WriteHeader(ByteSink& sink) const;
  void WriteFat(ByteSink& sink) const;
  void WriteDifat(ByteSink& sink) const;
  void WriteDirectory(ByteSink& sink) const;
  void WriteMiniFat(ByteSink& sink) const;

  std::uint64_t streamSize_;
  bool mini_;
  std::uint32_t fatSectors_ = 1;
  std::uint32_t difatSectors_ = 0;
  std::uint32_t directorySector_ = 0;
  std::uint32_t miniFatSector_ = kEndOfChain;
  std::uint32_t dataStart_ = 0;    // first sector of the stream or of the mini stream
  std::uint32_t dataSectors_ = 0;  // regular sectors of the stream or of the mini stream
  std::uint32_t miniSectors_ = 0;
};

}  // namespace ds
