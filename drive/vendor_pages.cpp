#include "drive/vendor_pages.h"

#include <array>
#include <cstdio>

#include "drive/ata_transport.h"
#include "drive/model_series.h"

namespace ds {
namespace {

constexpr std::uint8_t kLbaModeDevice = 0xE0;
constexpr std::uint16_t kUnlockKeys[] = {0x00AA, 0xAA00, 0x0055, 0x5500, 0x55AA};
constexpr std::uint16_t kPageKey = 0x55AA;

// The selector block picks the vendor page: F0 20 at the start, page 1 in byte 11.
std::array<std::uint8_t, kAtaSectorBytes> SelectorBlock() {
  std::array<std::uint8_t, kAtaSectorBytes> block{};
  block[0] = 0xF0;
  block[1] = 0x20;
  block[11] = 0x01;
  return block;
}

// A command on key `key`: LBA bits 0-7 and 8-15 hold the key, bits 16-23 are 0.
TaskFile KeyCommand(std::uint8_t command, std::uint8_t sectorCount, std::uint16_t key) {
  TaskFile taskFile;
  taskFile.sectorCount = sectorCount;
  taskFile.sectorNumber = static_cast<std::uint8_t>(key & 0xFF);
  taskFile.cylinderLow = static_cast<std::uint8_t>(key >> 8);
  taskFile.deviceHead = kLbaModeDevice;
  taskFile.command = command;
  return taskFile;
}

std::string Failure(const char* what, std::uint16_t key, const std::string& transport) {
  char text[64];
  std::snprintf(text, sizeof text, "Failed to send %s command [0x%04X]. ", what, key);
  return text + transport + ".";
}

}  // namespace

bool ReadVendorPages(AtaDeviceOpener& opener, int driveNumber, int n,
                     std::vector<std::uint8_t>* out, std::string* message) {
  if (n != 1 && n != 2) {
    *message = "The vendor page is read as 1 or 2 sectors.";
    return false;
  }
  AtaOpenMode mode;
  mode.readWrite = true;
  mode.noBuffering = true;
  std::string openMessage;
  std::unique_ptr<AtaDevice> device = opener.Open(driveNumber, mode, &openMessage);
  if (!device) {
    *message = "INVALID_HANDLE_VALUE #" + std::to_string(driveNumber);
    return false;
  }
  auto exclusive = device->HoldExclusive();

  std::array<std::uint8_t, kAtaSectorBytes> scratch{};
  std::string transport;
  for (std::uint16_t key : kUnlockKeys) {
    scratch.fill(0);
    TaskFile taskFile = KeyCommand(kAtaReadSectors, 1, key);
    if (!AtaPassThroughDirectRead(*device, &taskFile, scratch, &transport)) {
      *message = Failure("read", key, transport);
      return false;
    }
  }
  const std::array<std::uint8_t, kAtaSectorBytes> selector = SelectorBlock();
  TaskFile write = KeyCommand(kAtaWriteSectors, 1, kPageKey);
  if (!AtaPassThroughDirectWrite(*device, &write, selector, &transport)) {
    *message = Failure("write", kPageKey, transport);
    return false;
  }
  std::vector<std::uint8_t> pages(static_cast<std::size_t>(n) * kAtaSectorBytes, 0);
  TaskFile read =
      KeyCommand(n == 1 ? kAtaReadSectors : kAtaReadDma, static_cast<std::uint8_t>(n), kPageKey);
  if (!AtaPassThroughDirectRead(*device, &read, pages, &transport)) {
    *message = Failure("read", kPageKey, transport);
    return false;
  }
  *out = std::move(pages);
  message->clear();
  return true;
}

bool VendorReadAllowed(const VendorReadTarget& target) {
  return IsMakersDisk(target.model, 0) && target.smartSignature && !target.behindUsbBridge &&
         target.baseBoardProduct.find("Aptio") == std::string::npos;
}

std::uint32_t VendorFigureFromPages(std::span<const std::uint8_t> pages, bool isOtherSm) {
  if (isOtherSm) {
    if (pages.size() < 416)
      return 0;
    return static_cast<std::uint32_t>(pages[412]) | static_cast<std::uint32_t>(pages[413]) << 8 |
           static_cast<std::uint32_t>(pages[414]) << 16 |
           static_cast<std::uint32_t>(pages[415]) << 24;
  }
  if (pages.size() < 608)
    return 0;
  return static_cast<std::uint32_t>(pages[604]) << 24 |
         static_cast<std::uint32_t>(pages[605]) << 16 |
         static_cast<std::uint32_t>(pages[606]) << 8 | static_cast<std::uint32_t>(pages[607]);
}

std::uint32_t ReadVendorFigure(AtaDeviceOpener& opener, const VendorReadTarget& target,
                               std::string* message) {
  message->clear();
  if (!VendorReadAllowed(target))
    return 0;
  std::vector<std::uint8_t> pages;
  if (!ReadVendorPages(opener, target.driveNumber, target.isOtherSm ? 1 : 2, &pages, message))
    return 0;
  return VendorFigureFromPages(pages, target.isOtherSm);
}

}  // namespace ds
