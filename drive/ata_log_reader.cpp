#include "drive/ata_log_reader.h"

#include <algorithm>
#include <cstdio>

namespace ds {

namespace {

constexpr std::uint8_t kLogDeviceHead = 0xE0;
constexpr std::uint8_t kSmartDeviceHead = 0xA0;

std::string Describe(const AtaResult& result, std::size_t asked) {
  char text[96];
  if (!result.transportOk)
    return result.osErrorText.empty() ? "the command did not reach the disk" : result.osErrorText;
  if (result.registers.status() & (kAtaStatusErr | kAtaStatusDrq)) {
    std::snprintf(text, sizeof text, "status 0x%02X, error 0x%02X", result.registers.status(),
                  result.registers.error());
  } else {
    std::snprintf(text, sizeof text, "%zu of %zu bytes moved", result.transferred, asked);
  }
  return text;
}

}  // namespace

bool GeneralPurposeLoggingSupported(const IdentifyWords& identifyWords) {
  for (int word : {84, 87}) {
    const std::uint16_t value = identifyWords[static_cast<std::size_t>(word)];
    if ((value & 0xC000) == 0x4000 && (value & 0x0020) != 0)
      return true;
  }
  return false;
}

bool ReadLogPages(AtaDevice& device, const IdentifyWords& identifyWords, std::uint8_t address,
                  std::uint16_t firstPage, std::uint16_t count, std::vector<std::uint8_t>* out,
                  std::string* message) {
  const bool extended = GeneralPurposeLoggingSupported(identifyWords);
  const char* name = extended ? "READ LOG EXT" : "SMART READ LOG";
  char what[80];
  std::snprintf(what, sizeof what, "%s of log %02Xh, %u page(s) from page %u: ", name,
                unsigned{address}, unsigned{count}, unsigned{firstPage});
  // SMART READ LOG reads from page 0, so the pages before `firstPage` come along.
  const unsigned sectors = extended ? count : unsigned{firstPage} + count;
  if (count == 0 || (!extended && sectors > kSmartReadLogMaxPages)) {
    *message = std::string(what) + "the range does not fit the command";
    return false;
  }
  if (device.BridgeRefusedLog(address)) {  // asked once already; not sent again
    *message = std::string(what) + "the USB bridge does not carry it";
    return false;
  }
  std::vector<std::uint8_t> data(sectors * kAtaSectorBytes);
  AtaCommand command;
  command.protocol = AtaProtocol::kPioDataIn;
  command.data = data;
  if (extended) {
    // LBA 7:0 the address, 15:8 and 39:32 the page; a 16-bit count.
    command.extended = true;
    command.registers = TaskFile{0,
                                 static_cast<std::uint8_t>(count & 0xFF),
                                 address,
                                 static_cast<std::uint8_t>(firstPage & 0xFF),
                                 0,
                                 kLogDeviceHead,
                                 kAtaReadLogExt};
    command.previousRegisters.sectorCount = static_cast<std::uint8_t>(count >> 8);
    command.previousRegisters.cylinderLow = static_cast<std::uint8_t>(firstPage >> 8);
  } else {
    command.registers = TaskFile{kSmartReadLog,
                                 static_cast<std::uint8_t>(sectors),
                                 address,
                                 kSmartSignatureLow,
                                 kSmartSignatureHigh,
                                 kSmartDeviceHead,
                                 kAtaSmart};
  }
  const AtaResult result = device.Execute(command);
  if (!result.transportOk || (result.registers.status() & (kAtaStatusErr | kAtaStatusDrq)) != 0 ||
      result.transferred != data.size()) {
    *message = what + Describe(result, data.size());
    return false;
  }
  out->assign(data.end() - static_cast<std::ptrdiff_t>(count * kAtaSectorBytes), data.end());
  return true;
}

bool ReadLogDirectory(AtaDevice& device, const IdentifyWords& identifyWords,
                      LogDirectory* directory, std::string* message) {
  std::vector<std::uint8_t> page;
  if (!ReadLogPages(device, identifyWords, 0x00, 0, 1, &page, message))
    return false;
  *directory = LogDirectory{};
  directory->generalPurpose = GeneralPurposeLoggingSupported(identifyWords);
  // Word 0 is the logging version; word N the page count of log N.
  for (std::size_t address = 1; address < directory->pages.size(); ++address) {
    const auto pages = static_cast<std::uint16_t>(page[2 * address] | page[2 * address + 1] << 8);
    directory->pages[address] =
        directory->generalPurpose
            ? pages
            : static_cast<std::uint16_t>(std::min<unsigned>(pages, kSmartReadLogMaxPages));
  }
  return true;
}

}  // namespace ds
