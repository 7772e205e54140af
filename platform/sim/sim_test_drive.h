#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>
#include <string>

#include "platform/sim/simulated_disk.h"
#include "text/ini_file_reader.h"

// Test helpers: synthetic IDENTIFY / S.M.A.R.T. sectors, simulated disks and machine folders.
namespace ds::testing {

// The facts of a synthetic SATA disk.
struct TestDriveSpec {
  std::string model{}, serial{}, firmware{};
  std::uint64_t sectors = 1000000;
  bool smart = true, trim = true, security = true;
  std::uint16_t securityWord = 0x0021;  // supported, enhanced erase, not frozen
  bool vendorSignature = false;         // "SM2246" at bytes 400-405 of the SMART data
  bool selfTests = false;  // SMART data: self-tests supported, short 2 and extended 30 minutes
};

// The IDENTIFY sector of `wanted` with the usual words of a SATA SSD and a valid checksum.
inline Sector IdentifySector(const TestDriveSpec& wanted) {
  Sector id{};
  const auto text = [&id](int first, int count, std::string value) {
    value.resize(static_cast<std::size_t>(count) * 2, ' ');
    for (int i = 0; i < count; ++i) {  // the first character in the high byte
      id[2 * (first + i)] = static_cast<std::uint8_t>(value[2 * i + 1]);
      id[2 * (first + i) + 1] = static_cast<std::uint8_t>(value[2 * i]);
    }
  };
  text(10, 10, wanted.serial);
  text(23, 4, wanted.firmware);
  text(27, 20, wanted.model);
  const std::uint64_t s = wanted.sectors, lba28 = std::min<std::uint64_t>(s, 0x0FFFFFFF);
  // clang-format off
  const std::pair<int, std::uint64_t> words[] = {
      {0, 0x0040}, {49, 0x0300}, {53, 0x0006}, {60, lba28}, {61, lba28 >> 16}, {64, 0x0003},
      {82, (wanted.smart ? 1 : 0) | (wanted.security ? 2 : 0)}, {83, 0x4400} /* 48-bit */,
      {85, 0x0001}, {88, 0x007F}, {128, wanted.security ? wanted.securityWord : 0},
      {169, wanted.trim ? 1 : 0}, {100, s}, {101, s >> 16}, {102, s >> 32}, {103, s >> 48}};
  // clang-format on
  for (const auto& [index, value] : words) {
    id[2 * index] = static_cast<std::uint8_t>(value);
    id[2 * index + 1] = static_cast<std::uint8_t>(value >> 8);
  }
  id[510] = 0xA5;
  id[511] = static_cast<std::uint8_t>(-std::accumulate(id.begin(), id.begin() + 511, 0));
  return id;
}

// IDENTIFY and S.M.A.R.T. with attributes 5 (threshold 10), 194 (35 C) and 9 (42 hours).
inline SimulatedDiskImage MakeImage(const TestDriveSpec& wanted) {
  SimulatedDiskImage image;
  image.name = "test-drive/";
  image.identify = IdentifySector(wanted);
  const std::uint8_t slots[3][8] = {
      {5, 0x03, 0, 100, 100, 0}, {194, 0x22, 0, 70, 60, 35}, {9, 0x32, 0, 100, 100, 42}};
  image.smart[0] = image.thresholds[0] = 0x10;
  for (int s = 0; s < 3; ++s)
    std::memcpy(image.smart.data() + 2 + 12 * s, slots[s], 6);
  image.thresholds[2] = 5, image.thresholds[3] = 10;  // attribute 5: threshold 10
  if (wanted.selfTests)
    image.smart[367] = 0x5B, image.smart[372] = 2, image.smart[373] = 30;
  if (wanted.vendorSignature)
    std::memcpy(image.smart.data() + 400, "SM2246", 6);
  return image;
}

// Gives `image` a log directory and a Device Statistics log (pages 0, 1, 5 and 7 kept:
// 1234 hours, 35 C, `percentageUsed` %), and IDENTIFY general purpose logging when `gpl`.
inline void AddDeviceStatistics(SimulatedDiskImage* image, int percentageUsed, bool gpl = true) {
  std::vector<std::uint8_t> directory(512), log(8 * 512);
  directory[0] = 1, directory[8] = 8;
  const auto put = [&log](int page, int offset, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
      log[static_cast<std::size_t>(page * 512 + offset + i)] =
          static_cast<std::uint8_t>(value >> (8 * i));
  };
  for (int page : {0, 1, 5, 7})
    put(page, 0, std::uint64_t(page) << 16 | 1);
  log[8] = 4, log[10] = 1, log[11] = 5, log[12] = 7;
  put(1, 0x10, 0xC0ull << 56 | 1234);
  put(5, 0x08, 0xC0ull << 56 | 35);
  put(7, 0x08, 0xC0ull << 56 | static_cast<std::uint64_t>(percentageUsed));
  image->logs[0] = directory, image->logs[4] = log;
  Sector& id = image->identify;
  id[168] = gpl ? 0x20 : 0, id[169] = 0x40;  // word 84: bit 14 set, bit 5 general purpose logging
  id[511] = static_cast<std::uint8_t>(-std::accumulate(id.begin(), id.begin() + 511, 0));
}

inline std::shared_ptr<SimulatedDisk> MakeDisk(const TestDriveSpec& wanted,
                                               const std::string& description = "") {
  std::string message;
  return SimulatedDisk::Create(MakeImage(wanted), IniFileReader::FromText(description), &message);
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// A drive folder of a simulated machine ("/" is added to `folder`).
inline void WriteDriveFolder(const std::string& folder, const SimulatedDiskImage& image,
                             const std::string& description) {
  std::filesystem::create_directories(folder);
  for (const auto& [file, sector] :
       {std::pair{"/identify.bin", &image.identify}, std::pair{"/smart.bin", &image.smart},
        std::pair{"/thresholds.bin", &image.thresholds}})
    WriteFile(folder + file, std::string(sector->begin(), sector->end()));
  WriteFile(folder + "/description.dat", description);
}

inline void MakeAtaDriveFolder(const std::string& folder, const TestDriveSpec& wanted,
                               const std::string& description = "") {
  WriteDriveFolder(folder, MakeImage(wanted), description);
}

// A drive that only answers storage queries (USB, NVMe): no IDENTIFY.
inline void MakePlainDriveFolder(const std::string& folder, const std::string& description) {
  std::filesystem::create_directories(folder);
  WriteFile(folder + "/description.dat", description);
}

}  // namespace ds::testing
