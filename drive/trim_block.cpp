#include "drive/trim_block.h"

namespace ds {

namespace {

void PutEntry(TrimBlock* block, int entry, std::uint64_t firstLba, std::uint64_t length) {
  std::uint8_t* at = block->data() + 8 * entry;
  for (int i = 0; i < 6; ++i)
    at[i] = static_cast<std::uint8_t>(firstLba >> (8 * i));
  at[6] = static_cast<std::uint8_t>(length);
  at[7] = static_cast<std::uint8_t>(length >> 8);
}

}  // namespace

std::uint64_t TrimBlockCount(std::uint64_t sectorCount) {
  return sectorCount / kTrimBlockSectors + (sectorCount % kTrimBlockSectors != 0 ? 1 : 0);
}

bool FillTrimBlock(std::uint64_t sectorCount, std::uint64_t index, TrimBlock* block) {
  block->fill(0);
  if (index >= TrimBlockCount(sectorCount))
    return true;
  for (int entry = 0; entry < kTrimEntriesPerBlock; ++entry) {
    const std::uint64_t first = index * kTrimBlockSectors + entry * kTrimEntrySectors;
    if (first >= sectorCount) {
      // The previous entry ended exactly at the end of the disk.
      PutEntry(block, entry, first, 0);
      return true;
    }
    const std::uint64_t left = sectorCount - first;
    PutEntry(block, entry, first, left < kTrimEntrySectors ? left : kTrimEntrySectors);
    if (left < kTrimEntrySectors)
      return true;
  }
  return (index + 1) * kTrimBlockSectors >= sectorCount;
}

}  // namespace ds
