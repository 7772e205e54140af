#include "drive/secure_erase.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "drive/ata_transport.h"
#include "drive/security_commands.h"
#include "drive/trim_block.h"

namespace ds {

namespace {

constexpr std::uint8_t kLbaDevice = 0xE0;
constexpr std::uint8_t kTrimFeature = 0x01;
constexpr int kTrimTimeoutMs = 60000;
constexpr int kReadTimeoutMs = 30000;
constexpr std::uint64_t kEdgeSectors = 2048;  // one MiB at each end
constexpr std::uint64_t kSpreadSamples = 256;
constexpr std::uint32_t kReadChunkSectors = 128;
constexpr int kTrimProgressStep = 20;

bool Bit(std::uint16_t word, int bit) {
  return (word >> bit & 1) != 0;
}

// READ DMA EXT on a 48-bit disk, READ DMA otherwise; `count` 1..256 (at most 65536 for
// the EXT form).
bool ReadSectors(AtaDevice& device, bool lba48, std::uint64_t lba, std::uint32_t count,
                 std::span<std::uint8_t> data, std::string* message) {
  AtaCommand command;
  TaskFile& r = command.registers;
  r.sectorCount = static_cast<std::uint8_t>(count);
  r.sectorNumber = static_cast<std::uint8_t>(lba);
  r.cylinderLow = static_cast<std::uint8_t>(lba >> 8);
  r.cylinderHigh = static_cast<std::uint8_t>(lba >> 16);
  if (lba48) {
    r.deviceHead = kLbaDevice;
    r.command = kAtaReadDmaExt;
    command.extended = true;
    command.previousRegisters.sectorCount = static_cast<std::uint8_t>(count >> 8);
    command.previousRegisters.sectorNumber = static_cast<std::uint8_t>(lba >> 24);
    command.previousRegisters.cylinderLow = static_cast<std::uint8_t>(lba >> 32);
    command.previousRegisters.cylinderHigh = static_cast<std::uint8_t>(lba >> 40);
  } else {
    r.deviceHead = static_cast<std::uint8_t>(kLbaDevice | ((lba >> 24) & 0x0F));
    r.command = kAtaReadDma;
  }
  command.protocol = ChooseProtocol(r.command, AtaDataDirection::kIn);
  command.data = data.first(count * kAtaSectorBytes);
  command.timeoutMs = kReadTimeoutMs;
  const AtaResult result = device.Execute(command);
  if (!result.transportOk) {
    *message = result.osErrorText.empty() ? LastErrorText(result.osError) : result.osErrorText;
    return false;
  }
  if ((result.registers.status() & (kAtaStatusErr | kAtaStatusDrq)) != 0 ||
      result.transferred < command.data.size()) {
    char text[96];
    std::snprintf(text, sizeof text, "status 0x%02X, error 0x%02X",
                  unsigned{result.registers.status()}, unsigned{result.registers.error()});
    *message = text;
    return false;
  }
  return true;
}

// Sector runs the read-back looks at: [first, first + count).
std::vector<std::pair<std::uint64_t, std::uint64_t>> ReadBackRuns(std::uint64_t sectors) {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> runs;
  if (sectors <= 2 * kEdgeSectors) {
    runs.emplace_back(0, sectors);
    return runs;
  }
  runs.emplace_back(0, kEdgeSectors);
  for (std::uint64_t i = 1; i + 1 < kSpreadSamples; ++i) {
    // Evenly spread, each moved by a different amount inside its stretch so the samples
    // do not all fall on the same offset of a repeating layout.
    const std::uint64_t stretch = (sectors - 2 * kEdgeSectors) / kSpreadSamples;
    const std::uint64_t offset = stretch == 0 ? 0 : (i * 7919) % stretch;
    runs.emplace_back(kEdgeSectors + i * stretch + offset, 1);
  }
  runs.emplace_back(sectors - kEdgeSectors, kEdgeSectors);
  return runs;
}

// `text` without a full stop at its end.
std::string Clause(std::string text) {
  while (!text.empty() && (text.back() == '.' || text.back() == ' '))
    text.pop_back();
  return text;
}

std::string Joined(const std::vector<DiskUse>& uses) {
  std::string text;
  for (const DiskUse& use : uses)
    text += "\n" + use.detail;
  return text;
}

// Forwards progress only when it grows.
class MonotonicProgress {
 public:
  explicit MonotonicProgress(const std::function<void(int)>& sink) : sink_(sink) {}
  void operator()(int percent) {
    if (percent <= last_)
      return;
    last_ = percent;
    if (sink_)
      sink_(percent);
  }

 private:
  const std::function<void(int)>& sink_;
  int last_ = -1;
};

std::string HandRemovalHint(const std::string& device) {
  return std::string(" The user password \"") + kErasePassword +
         "\" may still be set on the disk. To remove it by hand: hdparm --user-master u "
         "--security-unlock " +
         kErasePassword + " " + device + " (only when the disk is locked), then hdparm " +
         "--user-master u --security-disable " + kErasePassword + " " + device + ".";
}

// After a failure that may have left the erase password set: UNLOCK when IDENTIFY says
// locked (or cannot tell), DISABLE PASSWORD, then IDENTIFY again to see it gone. True
// when IDENTIFY shows no password.
bool RemoveErasePassword(AtaDevice& device, const SecurityBlock& block, std::string* note) {
  IdentifyWords words{};
  std::string message;
  const bool known = ReadIdentifyWords(device, &words, &message);
  if (known && !DecodeSecurityState(words).enabled) {
    *note = " No password is set on the disk.";
    return true;
  }
  std::string steps;
  if (!known || DecodeSecurityState(words).locked) {
    if (!SecurityUnlock(device, block, &message))
      steps += " " + message + ".";
  }
  if (!SecurityDisablePassword(device, block, &message))
    steps += " " + message + ".";
  if (ReadIdentifyWords(device, &words, &message) && !DecodeSecurityState(words).enabled) {
    *note = " The erase password was removed again; the disk has no password.";
    return true;
  }
  *note = steps + HandRemovalHint(device.name());
  return false;
}

}  // namespace

bool CaptureEraseTarget(DiskSystem& disks, const DriveRecord& record, EraseTarget* target,
                        std::string* message) {
  if (record.driveNumber < 0) {
    *message = "No disk is selected.";
    return false;
  }
  if (record.busType == kBusTypeUsb) {
    *message = kNoEraseBehindUsbBridge;
    return false;
  }
  if (record.serial.empty() || record.sectorCount == 0) {
    *message =
        "The disk reports no serial number or size, so it cannot be told apart from "
        "another disk; it is not erased.";
    return false;
  }
  EraseTarget captured;
  captured.driveNumber = record.driveNumber;
  captured.diskKey = disks.DiskKey(record.driveNumber);
  captured.model = record.model;
  captured.serial = record.serial;
  captured.sectorCount = record.sectorCount;
  if (captured.diskKey.empty()) {
    *message = "There is no physical drive " + std::to_string(record.driveNumber) + ".";
    return false;
  }
  *target = captured;
  return true;
}

std::string EraseRefusal(DiskSystem& disks, int driveNumber) {
  // A bridge may lose a command half-way or reset the disk in the middle of an erase.
  if (disks.UsbDiskOf(driveNumber))
    return kNoEraseBehindUsbBridge;
  const std::vector<DiskUse> uses = disks.FindDiskUses(driveNumber);
  return uses.empty() ? std::string() : "Please remove the file system first!" + Joined(uses);
}

bool TrimWholeDisk(AtaDevice& device, std::uint64_t sectorCount,
                   const std::function<void(int)>& progress, std::stop_token stop,
                   std::string* message) {
  const std::uint64_t blocks = TrimBlockCount(sectorCount);
  int reported = 0;
  for (std::uint64_t b = 0; b < blocks; ++b) {
    if (stop.stop_requested()) {
      *message = "The TRIM pass was stopped after " + std::to_string(b) + " of " +
                 std::to_string(blocks) + " blocks.";
      return false;
    }
    TrimBlock block;
    const bool last = FillTrimBlock(sectorCount, b, &block);
    TaskFile taskFile{kTrimFeature, 1, 0, 0, 0, kLbaDevice, kAtaDataSetManagement};
    std::string transport;
    if (!AtaPassThroughDirectWrite(device, &taskFile, block, &transport, kTrimTimeoutMs)) {
      *message = "TRIM of block " + std::to_string(b + 1) + " of " + std::to_string(blocks) +
                 " failed: " + transport;
      return false;
    }
    if (last)
      break;
    const int percent = static_cast<int>(b * 100 / blocks);
    if (percent - reported >= kTrimProgressStep) {
      reported = percent;
      if (progress)
        progress(percent);
    }
  }
  *message = "TRIM accepted for " + std::to_string(sectorCount) + " sectors.";
  return true;
}

bool ReadBackFindsOnlyZeros(AtaDevice& device, const IdentifyWords& identify,
                            std::uint64_t sectorCount, std::uint64_t* sectorsRead,
                            std::string* message) {
  const bool lba48 = (identify[83] & 0xC000) == 0x4000 && Bit(identify[83], 10);
  std::vector<std::uint8_t> buffer(kReadChunkSectors * kAtaSectorBytes);
  *sectorsRead = 0;
  for (const auto& [first, count] : ReadBackRuns(sectorCount)) {
    for (std::uint64_t lba = first; lba < first + count; lba += kReadChunkSectors) {
      const auto chunk = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(kReadChunkSectors, first + count - lba));
      std::string problem;
      if (!ReadSectors(device, lba48, lba, chunk, buffer, &problem)) {
        *message = "sector " + std::to_string(lba) + " could not be read back (" + problem + ")";
        return false;
      }
      *sectorsRead += chunk;
      const auto end = buffer.begin() + chunk * kAtaSectorBytes;
      const auto data = std::find_if(buffer.begin(), end, [](std::uint8_t b) { return b != 0; });
      if (data != end) {
        const auto at = static_cast<std::uint64_t>(data - buffer.begin()) / kAtaSectorBytes;
        *message = "sector " + std::to_string(lba + at) + " still holds data";
        return false;
      }
    }
  }
  *message = "a read-back of " + std::to_string(*sectorsRead) + " sectors found only zeros";
  return true;
}

SecurityEraseOutcome SecurityEraseDisk(AtaDevice& device, const std::function<void(int)>& progress,
                                       const std::function<void(bool)>& securityPhase) {
  SecurityEraseOutcome outcome;
  IdentifyWords words{};
  if (!ReadIdentifyWords(device, &words, &outcome.message))
    return outcome;
  const SecurityState state = DecodeSecurityState(words);
  if (!state.supported) {
    outcome.message =
        "The disk does not support the ATA security feature set, so SECURITY "
        "ERASE UNIT cannot erase it.";
    return outcome;
  }
  if (state.frozen) {
    outcome.message =
        "The disk's security is frozen (the firmware or the system froze it at "
        "start-up), so it refuses SECURITY ERASE. A suspend and resume of the "
        "machine, or unplugging and plugging the disk in again while the machine "
        "runs, usually unfreezes it.";
    return outcome;
  }
  if (state.locked || state.enabled || state.countExpired) {
    outcome.message = state.countExpired
                          ? "The disk refuses passwords until it is powered off and on again."
                          : "The disk is already protected by a user password; remove it first "
                            "(hdparm --user-master u --security-disable PASSWORD " +
                                device.name() + ").";
    return outcome;
  }

  const SecurityBlock block = MakeSecurityBlock();
  const int eraseTimeoutMs = EraseUnitTimeoutMs(words, /*enhanced=*/false);
  const auto report = [&progress](int percent) {
    if (progress)
      progress(percent);
  };
  if (securityPhase)
    securityPhase(true);
  std::string failure;
  bool done = SecuritySetPassword(device, block, &failure);
  if (done) {
    report(33);
    done = SecurityErasePrepare(device, &failure);
  }
  if (done) {
    report(66);
    done = SecurityEraseUnit(device, block, eraseTimeoutMs, &failure);
  }
  // ERASE UNIT leaves the disk without a password, and a failed step after SET PASSWORD
  // must not leave one either; even a SET PASSWORD that failed in transport may have
  // reached the disk.
  std::string note;
  const bool noPassword = RemoveErasePassword(device, block, &note);
  outcome.erased = done && noPassword;
  outcome.passwordMaybeSet = !noPassword;
  if (!done) {
    outcome.message = failure + note;
  } else if (noPassword) {
    outcome.message = "SECURITY ERASE UNIT completed.";
  } else {
    outcome.message =
        "SECURITY ERASE UNIT completed, but the disk still reports a password." + note;
  }
  if (securityPhase)
    securityPhase(false);
  return outcome;
}

EraseOutcome RunSecureErase(DiskSystem& disks, const EraseTarget& target,
                            const EraseCallbacks& callbacks, std::stop_token stop) {
  EraseOutcome outcome;
  auto refuse = [&outcome](std::string message) {
    outcome.result = EraseResult::kRefused;
    outcome.message = std::move(message);
    return outcome;
  };
  if (target.driveNumber < 0 || target.serial.empty() || target.sectorCount == 0)
    return refuse("No disk is selected, or the selected disk cannot be told apart from another.");
  const std::string key = disks.DiskKey(target.driveNumber);
  if (key.empty() || key != target.diskKey) {
    return refuse("The selected disk (" + target.diskKey + ") is no longer physical drive " +
                  std::to_string(target.driveNumber) + "; nothing was erased.");
  }
  BusyMark busy = disks.MarkBusy(target.driveNumber);
  if (!busy)
    return refuse("The disk is already being erased.");
  const std::string refusal = EraseRefusal(disks, target.driveNumber);
  if (!refusal.empty())
    return refuse(refusal);

  AtaOpenMode mode;
  mode.exclusive = true;
  mode.eraserAccess = true;
  std::string message;
  std::unique_ptr<AtaDevice> device = disks.Open(target.driveNumber, mode, &message);
  if (!device)
    return refuse("The disk cannot be opened for erasing: " + message);
  auto serialised = device->HoldExclusive();
  if (!device->FlushCaches(&message))
    return refuse("The disk's cached data cannot be written out: " + message);
  IdentifyWords words{};
  if (!ReadIdentifyWords(*device, &words, &message))
    return refuse("The disk cannot be identified: " + message);
  DriveRecord found;
  DecodeIdentify(words, &found);
  if (found.serial != target.serial || found.sectorCount != target.sectorCount) {
    return refuse("Physical drive " + std::to_string(target.driveNumber) + " is not the selected " +
                  "disk any more (serial \"" + found.serial + "\", " +
                  std::to_string(found.sectorCount) + " sectors; selected: serial \"" +
                  target.serial + "\", " + std::to_string(target.sectorCount) +
                  " sectors); nothing was erased.");
  }
  if (stop.stop_requested())
    return refuse("The erase was stopped before it began.");

  // From here on the disk is changed.
  MonotonicProgress progress(callbacks.progress);
  const std::function<void(int)> report = [&progress](int percent) { progress(percent); };
  std::string trimMessage;
  std::uint64_t sectorsRead = 0;
  std::string readBack;
  bool erased = false;
  if (TrimWholeDisk(*device, target.sectorCount, report, stop, &trimMessage)) {
    device->FlushCaches(&message);
    erased = ReadBackFindsOnlyZeros(*device, words, target.sectorCount, &sectorsRead, &readBack);
    trimMessage = "TRIM was accepted, but " + readBack;
  }
  if (erased) {
    progress(100);
    outcome.result = EraseResult::kErased;
    outcome.method = "TRIM";
    outcome.message = "The disk was erased by TRIM; " + readBack + ".";
    return outcome;
  }
  if (stop.stop_requested()) {
    outcome.result = EraseResult::kFailed;
    outcome.message =
        "The erase was stopped; the disk is only partly erased. " + Clause(trimMessage) + ".";
    return outcome;
  }

  const SecurityEraseOutcome security = SecurityEraseDisk(*device, report, callbacks.securityPhase);
  device->FlushCaches(&message);
  if (security.erased) {
    erased = ReadBackFindsOnlyZeros(*device, words, target.sectorCount, &sectorsRead, &readBack);
    if (erased) {
      progress(100);
      outcome.result = EraseResult::kErased;
      outcome.method = "SECURITY ERASE UNIT";
      outcome.message = "The disk was erased by SECURITY ERASE UNIT (" + Clause(trimMessage) +
                        "); " + readBack + ".";
      return outcome;
    }
  }
  outcome.result =
      security.passwordMaybeSet ? EraseResult::kFailedPasswordMaybeSet : EraseResult::kFailed;
  outcome.message = "The disk was not erased. " + Clause(trimMessage) + ". " + security.message;
  if (security.erased)
    outcome.message += " Yet " + readBack + ".";
  return outcome;
}

}  // namespace ds
