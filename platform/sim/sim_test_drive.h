#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "platform/sim/simulated_disk.h"
#include "text/ini_file_reader.h"

// Test helpers: synthetic IDENTIFY / SMART sectors and drive folders for simulated disks.
namespace ds::testing {

inline void PutWord(Sector* sector, int index, std::uint16_t value) {
  (*sector)[2 * index] = static_cast<std::uint8_t>(value & 0xFF);
  (*sector)[2 * index + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline std::uint16_t GetWord(const std::uint8_t* bytes, int index) {
  return static_cast<std::uint16_t>(bytes[2 * index] | bytes[2 * index + 1] << 8);
}

// The facts of a synthetic disk.
struct TestDriveSpec {
  std::uint64_t sectors = 1000000;
  bool smart = true;
  bool trim = true;
  bool security = true;
  std::uint16_t securityWord = 0x0021;  // supported, enhanced erase, not frozen
  bool vendorSignature = false;         // "SM2246" at bytes 400-405 of the SMART data
};

inline SimulatedDiskImage MakeImage(const TestDriveSpec& wanted) {
  SimulatedDiskImage image;
  image.name = "test-drive/";
  Sector& id = image.identify;
  PutWord(&id, 0, 0x0040);
  PutWord(&id, 82,
          static_cast<std::uint16_t>((wanted.smart ? 0x0001 : 0) | (wanted.security ? 0x0002 : 0)));
  PutWord(&id, 83, 0x4400);  // 48-bit addressing
  for (int i = 0; i < 4; ++i) {
    PutWord(&id, 100 + i, static_cast<std::uint16_t>(wanted.sectors >> (16 * i)));
  }
  PutWord(&id, 128, wanted.security ? wanted.securityWord : 0);
  PutWord(&id, 169, wanted.trim ? 0x0001 : 0);
  id[510] = 0xA5;
  std::uint8_t sum = 0;
  for (int i = 0; i < 511; ++i)
    sum = static_cast<std::uint8_t>(sum + id[i]);
  id[511] = static_cast<std::uint8_t>(0x100 - sum);
  // One pre-failure attribute (id 5, value 100) with threshold 10, and temperature 194.
  image.smart[0] = 0x10;
  image.smart[2] = 5;
  image.smart[3] = 0x03;
  image.smart[5] = 100;
  image.smart[6] = 100;
  image.smart[14] = 194;
  image.smart[17] = 70;
  image.smart[18] = 60;
  image.smart[19] = 35;
  image.thresholds[0] = 0x10;
  image.thresholds[2] = 5;
  image.thresholds[3] = 10;
  if (wanted.vendorSignature)
    std::memcpy(image.smart.data() + 400, "SM2246", 6);
  return image;
}

inline std::shared_ptr<SimulatedDisk> MakeDisk(const TestDriveSpec& wanted,
                                               const std::string& description = "") {
  std::string message;
  return SimulatedDisk::Create(MakeImage(wanted), IniFileReader::FromText(description), &message);
}

inline void WriteBytes(const std::string& path, const void* bytes, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

inline void WriteDriveFolder(const std::string& folder, const SimulatedDiskImage& image,
                             const std::string& description) {
  WriteBytes(folder + "identify.bin", image.identify.data(), image.identify.size());
  WriteBytes(folder + "smart.bin", image.smart.data(), image.smart.size());
  WriteBytes(folder + "thresholds.bin", image.thresholds.data(), image.thresholds.size());
  WriteBytes(folder + "description.dat", description.data(), description.size());
}

}  // namespace ds::testing
