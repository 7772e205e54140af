#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

// The IDENTIFY (PACKET) DEVICE data as the device hands it over: 256 little-endian words,
// with texts stored two characters per word, high byte first. Both the drive records and
// the simulated disks read identities from it.
namespace ds {

using IdentifyWords = std::array<std::uint16_t, 256>;

// The 512 bytes of an IDENTIFY sector as 256 little-endian words.
IdentifyWords IdentifyWordsFromBytes(std::span<const std::uint8_t, 512> bytes);

// ATA text of `count` words from `first`: each word gives its high byte, then its low byte,
// up to the first NUL. With `trim`, leading blanks are dropped and trailing blanks cut.
std::string IdentifyText(const IdentifyWords& words, int first, int count, bool trim);

// Words 27-46 (model, kept as stored), 10-19 (serial) and 23-26 (firmware, both trimmed).
inline constexpr int kIdentifyModelWord = 27;
inline constexpr int kIdentifyModelWords = 20;
inline constexpr int kIdentifySerialWord = 10;
inline constexpr int kIdentifySerialWords = 10;
inline constexpr int kIdentifyFirmwareWord = 23;
inline constexpr int kIdentifyFirmwareWords = 4;

}  // namespace ds
