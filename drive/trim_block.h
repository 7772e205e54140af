#pragma once

#include <array>
#include <cstdint>

// The data blocks of DATA SET MANAGEMENT (TRIM) that trim a whole disk. A block is 512
// bytes of 64 entries; an entry is a starting LBA in 6 bytes and a length in 2 bytes,
// least significant byte first. The entries cover the disk from LBA 0 on, 65535 sectors
// each, the last one only what is left. A disk that ends exactly where an entry ends gets a
// closing entry of length 0 after it, when its block still has room for one.
namespace ds {

inline constexpr std::uint64_t kTrimEntrySectors = 65535;
inline constexpr int kTrimEntriesPerBlock = 64;
inline constexpr std::uint64_t kTrimBlockSectors = kTrimEntrySectors * kTrimEntriesPerBlock;

using TrimBlock = std::array<std::uint8_t, 512>;

// Blocks needed for a disk of `sectorCount` sectors: 0 for an empty disk.
std::uint64_t TrimBlockCount(std::uint64_t sectorCount);

// Fills block `index` (0-based) of the run; unused entries stay zero. True when the block
// holds the run's last entry. A block past the run's end is all zero (and true).
bool FillTrimBlock(std::uint64_t sectorCount, std::uint64_t index, TrimBlock* block);

}  // namespace ds
