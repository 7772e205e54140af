#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "drive/identify_decoder.h"

// Test helpers: simulated machine folders with crafted drive folders.
namespace ds::testing {

// An IDENTIFY sector with the given texts and the usual words of a SATA SSD, checksummed.
inline std::array<std::uint8_t, 512> IdentifySector(const std::string& model,
                                                    const std::string& serial,
                                                    const std::string& firmware,
                                                    std::uint64_t sectors) {
  IdentifyWords w{};
  auto put = [&w](int first, int count, std::string text) {
    text.resize(static_cast<std::size_t>(count) * 2, ' ');
    for (int i = 0; i < count; ++i) {
      w[first + i] = static_cast<std::uint16_t>(static_cast<std::uint8_t>(text[2 * i]) << 8 |
                                                static_cast<std::uint8_t>(text[2 * i + 1]));
    }
  };
  w[0] = 0x0040;
  put(10, 10, serial);
  put(23, 4, firmware);
  put(27, 20, model);
  w[49] = 0x0300;
  w[53] = 0x0006;
  w[60] = static_cast<std::uint16_t>(std::min<std::uint64_t>(sectors, 0x0FFFFFFF) & 0xFFFF);
  w[61] = static_cast<std::uint16_t>(std::min<std::uint64_t>(sectors, 0x0FFFFFFF) >> 16);
  w[64] = 0x0003;
  w[82] = 0x0001;
  w[83] = 0x4400;
  w[85] = 0x0001;
  w[88] = 0x007F;
  for (int i = 0; i < 4; ++i)
    w[100 + i] = static_cast<std::uint16_t>(sectors >> (16 * i));
  std::array<std::uint8_t, 512> bytes{};
  for (int i = 0; i < 256; ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(w[i]);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(w[i] >> 8);
  }
  bytes[510] = 0xA5;
  std::uint8_t sum = 0;
  for (int i = 0; i < 511; ++i)
    sum = static_cast<std::uint8_t>(sum + bytes[i]);
  bytes[511] = static_cast<std::uint8_t>(0x100 - sum);
  return bytes;
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline void WriteSector(const std::string& path, const std::array<std::uint8_t, 512>& sector) {
  WriteFile(path, std::string(sector.begin(), sector.end()));
}

// A drive folder: with an IDENTIFY sector it is an ATA disk (empty SMART sectors but for
// one attribute 9), without one it only answers storage queries.
inline void MakeAtaDriveFolder(const std::string& folder,
                               const std::array<std::uint8_t, 512>& identify,
                               const std::string& description) {
  std::filesystem::create_directories(folder);
  WriteSector(folder + "/identify.bin", identify);
  std::array<std::uint8_t, 512> smart{};
  smart[2] = 9;
  smart[5] = 100;
  smart[6] = 100;
  smart[7] = 42;
  WriteSector(folder + "/smart.bin", smart);
  WriteSector(folder + "/thresholds.bin", {});
  WriteFile(folder + "/description.dat", description);
}

inline void MakePlainDriveFolder(const std::string& folder, const std::string& description) {
  std::filesystem::create_directories(folder);
  WriteFile(folder + "/description.dat", description);
}

}  // namespace ds::testing
