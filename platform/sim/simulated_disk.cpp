#include "platform/sim/simulated_disk.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/file_system.h"
#include "platform/sim/simulated_ata_device.h"
#include "text/ini_file_reader.h"

namespace ds {

namespace {

constexpr std::size_t kLogLimit = 4096;
constexpr int kMaxOpenFailures = 1000;
constexpr int kMaxSlowMs = 600000;
constexpr int kUnlockAttemptLimit = 5;
constexpr std::uint64_t kMaxCapacity = (std::uint64_t{1} << 48) - 1;
constexpr std::size_t kMaxVendorPageBytes = 255 * kAtaSectorBytes;
constexpr std::size_t kMaxLogBytes = 1024 * kAtaSectorBytes;
// Key addresses of the vendor sequence (LBA bits 8-15 : bits 0-7), in unlock order.
constexpr std::uint16_t kVendorKeys[] = {0x00AA, 0xAA00, 0x0055, 0x5500, 0x55AA};
constexpr int kVendorKeyCount = 5;
constexpr std::uint16_t kVendorPageKey = 0x55AA;
// The 30 attribute slots of the SMART data and threshold sectors start at 2, 14, ... 362.
constexpr std::size_t kLastAttributeSlot = 362;
// SMART data byte 363: the self-test execution status.
constexpr std::size_t kSelfTestStatusByte = 363;
constexpr std::uint8_t kSmartExecuteOffline = 0xD4;
constexpr std::uint8_t kSelfTestLogAddress = 0x06;

std::uint16_t Word(const Sector& sector, int index) {
  return static_cast<std::uint16_t>(sector[2 * index] | sector[2 * index + 1] << 8);
}

void SetWord(Sector* sector, int index, std::uint16_t value) {
  (*sector)[2 * index] = static_cast<std::uint8_t>(value & 0xFF);
  (*sector)[2 * index + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Integrity word: when its low byte is the signature 0xA5 the high byte makes the sum of
// all 512 bytes zero.
void FixChecksum(Sector* sector) {
  if ((*sector)[510] != 0xA5)
    return;
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < 511; ++i)
    sum = static_cast<std::uint8_t>(sum + (*sector)[i]);
  (*sector)[511] = static_cast<std::uint8_t>(0x100 - sum);
}

AtaResult Completed(const AtaCommand& command) {
  AtaResult result;
  result.transportOk = true;
  result.registers = command.registers;
  result.registers.features = 0;
  result.registers.command = kAtaStatusGood;
  result.previousRegisters = command.extended ? command.previousRegisters : TaskFile{};
  result.transferred = command.data.size();
  return result;
}

AtaResult AtaError(const AtaCommand& command, std::uint8_t error) {
  AtaResult result;
  result.transportOk = true;
  result.registers = command.registers;
  result.registers.features = error;
  result.registers.command = kAtaStatusGood | kAtaStatusErr;
  return result;
}

AtaResult Aborted(const AtaCommand& command) {
  return AtaError(command, kAtaErrorAbrt);
}

AtaResult TransportFailure(int osError, std::string text) {
  AtaResult result;
  result.osError = osError;
  result.osErrorText = std::move(text);
  return result;
}

// The data phase a command must come with: direction and byte count.
bool DataPhaseIs(const AtaCommand& command, AtaDataDirection direction, std::size_t bytes) {
  return command.protocol == ChooseProtocol(command.registers.command, direction) &&
         command.data.size() == bytes;
}

bool Matches(const std::vector<CommandMatch>& list, const TaskFile& registers) {
  for (const CommandMatch& match : list) {
    if (match.Matches(registers))
      return true;
  }
  return false;
}

// ---- description values ----

bool ParseUnsigned(std::string_view text, int base, std::uint64_t limit, std::uint64_t* value) {
  if (base == 16 && (text.starts_with("0x") || text.starts_with("0X")))
    text.remove_prefix(2);
  if (text.empty() || text.size() > 20)
    return false;
  std::uint64_t result = 0;
  for (char c : text) {
    int digit = -1;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    if (digit < 0)
      return false;
    if (result > (limit - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base)) {
      return false;
    }
    result = result * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
  }
  *value = result;
  return true;
}

// Reads the description's values, each key at most once, with messages naming the key.
class DescriptionValues {
 public:
  explicit DescriptionValues(const IniFileReader& reader) : reader_(reader) {}

  // False (message set) when present but not valid; `value` keeps its default when absent.
  bool Flag(const char* key, bool* value, std::string* message) const {
    const std::string text = FoldCase(TrimBoth(reader_.lookup(key)));
    if (text.empty())
      return true;
    if (text == "1" || text == "true" || text == "yes") {
      *value = true;
    } else if (text == "0" || text == "false" || text == "no") {
      *value = false;
    } else {
      return Bad(key, text, "0 or 1", message);
    }
    return true;
  }

  bool Number(const char* key, std::uint64_t limit, std::uint64_t* value,
              std::string* message) const {
    const std::string text(TrimBoth(reader_.lookup(key)));
    if (text.empty())
      return true;
    if (!ParseUnsigned(text, 10, limit, value)) {
      return Bad(key, text, "a whole number up to " + std::to_string(limit), message);
    }
    return true;
  }

  bool HexByte(const char* key, std::uint8_t* value, std::string* message) const {
    const std::string text(TrimBoth(reader_.lookup(key)));
    if (text.empty())
      return true;
    std::uint64_t parsed = 0;
    if (!ParseUnsigned(text, 16, 0xFF, &parsed))
      return Bad(key, text, "a hex byte", message);
    *value = static_cast<std::uint8_t>(parsed);
    return true;
  }

  bool Commands(const char* key, std::vector<CommandMatch>* list, std::string* message) const {
    const std::string text = reader_.lookup(key);
    std::string_view rest = text;
    while (!rest.empty()) {
      const std::size_t comma = rest.find(',');
      std::string_view entry = TrimBoth(rest.substr(0, comma));
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
      if (entry.empty())
        continue;
      CommandMatch match;
      const std::size_t colon = entry.find(':');
      std::uint64_t command = 0;
      std::uint64_t features = 0;
      if (!ParseUnsigned(TrimBoth(entry.substr(0, colon)), 16, 0xFF, &command)) {
        return Bad(key, std::string(entry), "hex commands such as 0xB0:0xD0", message);
      }
      match.command = static_cast<std::uint8_t>(command);
      if (colon != std::string_view::npos) {
        if (!ParseUnsigned(TrimBoth(entry.substr(colon + 1)), 16, 0xFF, &features)) {
          return Bad(key, std::string(entry), "hex commands such as 0xB0:0xD0", message);
        }
        match.features = static_cast<int>(features);
      }
      list->push_back(match);
    }
    return true;
  }

  bool Password(const char* key, std::array<std::uint8_t, 32>* password,
                std::string* message) const {
    const std::string text = reader_.lookup(key);
    if (text.empty())
      return true;
    if (text.size() > password->size())
      return Bad(key, text, "at most 32 characters", message);
    password->fill(0);
    std::memcpy(password->data(), text.data(), text.size());
    return true;
  }

  std::string Text(const char* key) const { return FoldCase(TrimBoth(reader_.lookup(key))); }

  static bool Bad(const char* key, const std::string& text, const std::string& expected,
                  std::string* message) {
    *message = std::string("description.dat: ") + key + "=" + text + " is not valid (expected " +
               expected + ")";
    return false;
  }

 private:
  const IniFileReader& reader_;
};

bool ReadSector(const std::string& folder, const char* file, Sector* sector, std::string* message) {
  std::string content;
  std::string problem;
  if (!ReadWholeFile(folder + file, kAtaSectorBytes + 1, &content, &problem)) {
    *message = folder + file + ": " + problem;
    return false;
  }
  if (content.size() != kAtaSectorBytes) {
    *message = folder + file + " holds " + std::to_string(content.size()) +
               " bytes; a sector file must hold exactly 512";
    return false;
  }
  std::memcpy(sector->data(), content.data(), kAtaSectorBytes);
  return true;
}

// vendor_page_N.bin files of the folder, N decimal 0-255.
bool ReadVendorPages(const std::string& folder, std::map<int, std::vector<std::uint8_t>>* pages,
                     std::string* message) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string file = entry.path().filename().string();
    constexpr std::string_view kPrefix = "vendor_page_";
    constexpr std::string_view kSuffix = ".bin";
    if (!file.starts_with(kPrefix) || !file.ends_with(kSuffix))
      continue;
    const std::string_view digits = std::string_view(file).substr(
        kPrefix.size(), file.size() - kPrefix.size() - kSuffix.size());
    std::uint64_t page = 0;
    if (digits.size() > 3 || !ParseUnsigned(digits, 10, 255, &page)) {
      *message = folder + file + ": the page number must be 0-255";
      return false;
    }
    std::string content;
    std::string problem;
    if (!ReadWholeFile(folder + file, kMaxVendorPageBytes, &content, &problem)) {
      *message = folder + file + ": " + problem;
      return false;
    }
    if (content.empty() || content.size() % kAtaSectorBytes != 0) {
      *message = folder + file + " holds " + std::to_string(content.size()) +
                 " bytes; a vendor page must be whole 512-byte sectors";
      return false;
    }
    (*pages)[static_cast<int>(page)].assign(content.begin(), content.end());
  }
  return true;
}

// log-XX.bin files of the folder, XX two hex digits.
bool ReadLogs(const std::string& folder, std::map<int, std::vector<std::uint8_t>>* logs,
              std::string* message) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string file = entry.path().filename().string();
    if (!file.starts_with("log-") || !file.ends_with(".bin"))
      continue;
    std::uint64_t address = 0;
    if (file.size() != 10 ||
        !ParseUnsigned(std::string_view(file).substr(4, 2), 16, 0xFF, &address)) {
      *message = folder + file + ": the log address must be two hex digits";
      return false;
    }
    std::string content;
    std::string problem;
    if (!ReadWholeFile(folder + file, kMaxLogBytes, &content, &problem)) {
      *message = folder + file + ": " + problem;
      return false;
    }
    if (content.empty() || content.size() % kAtaSectorBytes != 0) {
      *message = folder + file + " holds " + std::to_string(content.size()) +
                 " bytes; a log must be whole 512-byte pages";
      return false;
    }
    (*logs)[static_cast<int>(address)].assign(content.begin(), content.end());
  }
  return true;
}

}  // namespace

bool CommandMatch::Matches(const TaskFile& registers) const {
  return registers.command == command && (features < 0 || registers.features == features);
}

std::shared_ptr<SimulatedDisk> SimulatedDisk::Load(const std::string& driveFolder,
                                                   std::string* message) {
  std::string folder = driveFolder;
  if (folder.empty() || folder.back() != '/')
    folder += '/';
  SimulatedDiskImage image;
  image.name = folder;
  if (!ReadSector(folder, "identify.bin", &image.identify, message) ||
      !ReadSector(folder, "smart.bin", &image.smart, message) ||
      !ReadSector(folder, "thresholds.bin", &image.thresholds, message) ||
      !ReadVendorPages(folder, &image.vendorPages, message) ||
      !ReadLogs(folder, &image.logs, message)) {
    return nullptr;
  }
  const IniFileReader description = ReadKeyValueFile(folder + "description.dat");
  return Create(std::move(image), description, message);
}

std::shared_ptr<SimulatedDisk> SimulatedDisk::Create(SimulatedDiskImage image,
                                                     const IniFileReader& description,
                                                     std::string* message) {
  std::shared_ptr<SimulatedDisk> disk(new SimulatedDisk());
  disk->image_ = std::move(image);
  if (!disk->Configure(description, message))
    return nullptr;
  return disk;
}

bool SimulatedDisk::Configure(const IniFileReader& description, std::string* message) {
  const Sector& identify = image_.identify;
  identifyNow_ = identify;
  packetDevice_ = (Word(identify, 0) & 0xC000) == 0x8000;
  smartSupported_ = (Word(identify, 82) & 0x0001) != 0;
  lba48_ = (Word(identify, 83) & 0x0400) != 0;
  // Words 84 and 87 count when bits 15:14 read 01.
  for (int word : {84, 87}) {
    const std::uint16_t value = Word(identify, word);
    generalPurposeLogging_ |= (value & 0xC000) == 0x4000 && (value & 0x0020) != 0;
  }
  trimSupported_ = (Word(identify, 169) & 0x0001) != 0;
  if (lba48_) {
    capacity_ = std::uint64_t{Word(identify, 100)} | std::uint64_t{Word(identify, 101)} << 16 |
                std::uint64_t{Word(identify, 102)} << 32 | std::uint64_t{Word(identify, 103)} << 48;
    if (capacity_ > kMaxCapacity)
      capacity_ = 0;
  } else {
    capacity_ = std::uint64_t{Word(identify, 60)} | std::uint64_t{Word(identify, 61)} << 16;
  }
  const std::uint16_t securityWord = Word(identify, 128);
  security_.supported = (Word(identify, 82) & 0x0002) != 0 || (securityWord & 0x0001) != 0;
  security_.enabled = (securityWord & 0x0002) != 0;
  security_.locked = (securityWord & 0x0004) != 0;
  security_.frozen = (securityWord & 0x0008) != 0;
  vendorProtocol_ = image_.smart[400] == 'S' && image_.smart[401] == 'M';

  const DescriptionValues values(description);
  std::uint64_t openFailures = 0;
  std::uint64_t slowMs = static_cast<std::uint64_t>(faults_.slowMs);
  if (!values.Number("sectors", kMaxCapacity, &capacity_, message) ||
      !values.Flag("smart_enabled", &smartEnabled_, message) ||
      !values.Flag("trim_supported", &trimSupported_, message) ||
      !values.Flag("trim_keeps_data", &trimKeepsData_, message) ||
      !values.Flag("standby", &standby_, message) ||
      !values.Flag("vendor_protocol", &vendorProtocol_, message) ||
      !values.Password("security_user_password", &userPassword_, message) ||
      !values.Password("security_master_password", &masterPassword_, message) ||
      !values.Number("fault_open_failures", kMaxOpenFailures, &openFailures, message) ||
      !values.Flag("fault_refuse_pass_through", &faults_.refusePassThrough, message) ||
      !values.Flag("fault_refuse_smart_driver", &faults_.refuseSmartDriver, message) ||
      !values.Commands("fault_abort_commands", &faults_.abort, message) ||
      !values.Commands("fault_status_commands", &faults_.status, message) ||
      !values.HexByte("fault_status", &faults_.statusValue, message) ||
      !values.Commands("fault_slow_commands", &faults_.slow, message) ||
      !values.Number("fault_slow_ms", kMaxSlowMs, &slowMs, message) ||
      !values.Commands("fault_short_transfer_commands", &faults_.shortTransfer, message) ||
      !values.Commands("fault_reset_commands", &faults_.reset, message)) {
    return false;
  }
  std::uint64_t percentPerRead = 30;
  std::uint64_t failLba = 0;
  if (!values.Number("self_test_percent_per_read", 100, &percentPerRead, message) ||
      !values.Number("self_test_fail_lba", kMaxCapacity, &failLba, message)) {
    return false;
  }
  std::uint16_t powerOnHours = 0;
  for (std::size_t at = 2; at <= kLastAttributeSlot; at += 12) {
    if (image_.smart[at] == 9)
      powerOnHours = static_cast<std::uint16_t>(image_.smart[at + 5] | image_.smart[at + 6] << 8);
  }
  selfTest_.Configure(
      image_.smart[kSelfTestStatusByte], static_cast<int>(percentPerRead),
      values.Text("self_test_fail_lba").empty() ? std::nullopt : std::optional(failLba),
      powerOnHours);
  faults_.openFailures = static_cast<int>(openFailures);
  faults_.slowMs = static_cast<int>(slowMs);

  const std::string state = values.Text("security_state");
  if (state == "disabled") {
    security_.enabled = security_.locked = security_.frozen = false;
  } else if (state == "enabled") {
    security_.supported = security_.enabled = true;
    security_.locked = security_.frozen = false;
  } else if (state == "locked") {
    security_.supported = security_.enabled = security_.locked = true;
    security_.frozen = false;
  } else if (state == "frozen") {
    security_.supported = security_.frozen = true;
    security_.locked = false;
  } else if (!state.empty()) {
    return DescriptionValues::Bad("security_state", state, "disabled, enabled, locked or frozen",
                                  message);
  }
  RefreshSecurityWord();
  return true;
}

void SimulatedDisk::RefreshSecurityWord() {
  const std::uint16_t before = Word(identifyNow_, 128);
  if (!security_.supported)
    return;
  std::uint16_t word = static_cast<std::uint16_t>(before & ~0x001F);
  word |= 0x0001;
  if (security_.enabled)
    word |= 0x0002;
  if (security_.locked)
    word |= 0x0004;
  if (security_.frozen)
    word |= 0x0008;
  if (security_.failedUnlocks >= kUnlockAttemptLimit)
    word |= 0x0010;
  // A word the file left at zero is only filled in once the state differs from it.
  if ((before & 0x0001) == 0 && (word & 0x001E) == (before & 0x001E))
    return;
  if (word == before)
    return;
  SetWord(&identifyNow_, 128, word);
  FixChecksum(&identifyNow_);
}

std::unique_ptr<AtaDevice> SimulatedDisk::OpenHandle(std::string* message, bool exclusive) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (faults_.openFailures > 0) {
    --faults_.openFailures;
    *message = "cannot open " + image_.name + ": the device is busy";
    return nullptr;
  }
  if (exclusiveHeld_ || (exclusive && openHandles_ > 0)) {
    *message = "cannot open " + image_.name + (exclusive ? " exclusively" : "") +
               ": Device or resource busy";
    return nullptr;
  }
  ++openHandles_;
  exclusiveHeld_ = exclusive;
  return std::make_unique<SimulatedAtaDevice>(shared_from_this(), exclusive);
}

void SimulatedDisk::HandleClosed(bool exclusive) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  --openHandles_;
  if (exclusive)
    exclusiveHeld_ = false;
}

std::unique_lock<std::recursive_mutex> SimulatedDisk::HoldExclusive() {
  return std::unique_lock<std::recursive_mutex>(mutex_);
}

bool SimulatedDisk::PassThroughAvailable() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return !faults_.refusePassThrough;
}

void SimulatedDisk::Record(const TaskFile& registers, AtaProtocol protocol,
                           std::span<const std::uint8_t> data, bool driver) {
  if (log_.size() >= kLogLimit)
    log_.pop_front();
  SimulatedCommandRecord& record =
      log_.emplace_back(SimulatedCommandRecord{registers, protocol, data.size(), driver, {}, {}});
  if (protocol != AtaProtocol::kNonData && !IsDataIn(protocol))
    record.dataOut.assign(data.begin(), data.begin() + std::min<std::size_t>(data.size(), 512));
}

AtaResult SimulatedDisk::Execute(const AtaCommand& command) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Record(command.registers, command.protocol, command.data, false);
  if (command.extended)
    log_.back().previousRegisters = command.previousRegisters;
  if (faults_.refusePassThrough) {
    return TransportFailure(EOPNOTSUPP, image_.name +
                                            ": the driver refused the ATA pass-through "
                                            "(sense key 0x05, ASC/ASCQ 0x20/0x00)");
  }
  if (Matches(faults_.slow, command.registers)) {
    const int timeoutMs = command.timeoutMs > 0 ? command.timeoutMs : AtaCommand::kDefaultTimeoutMs;
    if (timeoutMs < faults_.slowMs) {
      std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
      vendorProgress_ = 0;
      vendorSelectedPage_ = -1;
      return TransportFailure(ETIMEDOUT, image_.name + ": the command timed out after " +
                                             std::to_string(timeoutMs) + " ms");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(faults_.slowMs));
  }
  if (Matches(faults_.reset, command.registers)) {
    vendorProgress_ = 0;
    vendorSelectedPage_ = -1;
    security_.erasePrepared = false;
    if (security_.enabled)
      security_.locked = true;
    RefreshSecurityWord();
    return TransportFailure(EIO, image_.name + ": the command failed and the link was reset");
  }
  AtaResult result = Run(command);
  if (result.transportOk && IsDataIn(command.protocol) &&
      Matches(faults_.shortTransfer, command.registers) &&
      (result.registers.status() & kAtaStatusErr) == 0) {
    const std::size_t moved = command.data.size() / 2;
    AtaResult shortened =
        TransportFailure(EIO, image_.name + ": the device moved " + std::to_string(moved) + " of " +
                                  std::to_string(command.data.size()) + " bytes");
    shortened.registers = result.registers;
    shortened.transferred = moved;
    return shortened;
  }
  return result;
}

AtaResult SimulatedDisk::SmartDriverCommand(const TaskFile& registers,
                                            std::span<std::uint8_t> dataIn) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  AtaCommand command;
  command.registers = registers;
  if (registers.command == kAtaSmart) {
    // The driver supplies the SMART signature itself.
    command.registers.cylinderLow = kSmartSignatureLow;
    command.registers.cylinderHigh = kSmartSignatureHigh;
  }
  command.protocol = dataIn.empty() ? AtaProtocol::kNonData : AtaProtocol::kPioDataIn;
  command.data = dataIn;
  Record(command.registers, command.protocol, dataIn, true);
  if (faults_.refuseSmartDriver) {
    return TransportFailure(
        ENOTTY, "HDIO_DRIVE_CMD on " + image_.name + " failed: " + std::strerror(ENOTTY));
  }
  AtaResult result = Run(command);
  if (result.transportOk && (result.registers.status() & (kAtaStatusErr | kAtaStatusDrq)) != 0) {
    AtaResult failed = TransportFailure(
        EIO, "HDIO_DRIVE_CMD on " + image_.name + " failed: " + std::strerror(EIO));
    failed.registers = result.registers;
    return failed;
  }
  return result;
}

AtaResult SimulatedDisk::Run(const AtaCommand& command) {
  const std::uint8_t code = command.registers.command;
  const bool prepared = security_.erasePrepared;
  security_.erasePrepared = false;
  if (Matches(faults_.abort, command.registers)) {
    vendorProgress_ = 0;
    vendorSelectedPage_ = -1;
    return Aborted(command);
  }
  if (Matches(faults_.status, command.registers)) {
    AtaResult result = Completed(command);
    result.registers.command = faults_.statusValue;
    if (faults_.statusValue & kAtaStatusErr)
      result.registers.features = kAtaErrorAbrt;
    result.transferred = 0;
    return result;
  }
  if (vendorProtocol_) {
    AtaResult result;
    if (RunVendorSequence(command, &result))
      return result;
  }
  switch (code) {
    case kAtaCheckPowerMode: {
      if (!command.data.empty())
        return Aborted(command);
      AtaResult result = Completed(command);
      result.registers.sectorCount = standby_ ? 0x00 : 0xFF;  // standby, or active or idle
      return result;
    }
    case kAtaIdentifyDevice:
    case kAtaIdentifyPacketDevice:
      return RunIdentify(command);
    case kAtaSmart:
      return RunSmart(command);
    case kAtaReadSectors:
    case kAtaReadSectorsExt:
    case kAtaReadDma:
    case kAtaReadDmaExt:
    case kAtaWriteSectors:
    case kAtaWriteSectorsExt:
    case kAtaWriteDma:
    case kAtaWriteDmaExt:
      return RunReadWrite(command);
    case kAtaDataSetManagement:
      return RunDataSetManagement(command);
    case kAtaReadLogExt: {
      const TaskFile& r = command.registers;
      const TaskFile& p = command.previousRegisters;
      if (!generalPurposeLogging_ || !command.extended)
        return Aborted(command);
      return RunReadLog(command, r.sectorNumber, std::size_t{p.cylinderLow} << 8 | r.cylinderLow,
                        std::size_t{p.sectorCount} << 8 | r.sectorCount);
    }
    case kAtaSecurityErasePrepare:
      if (!security_.supported || security_.frozen)
        return Aborted(command);
      security_.erasePrepared = true;
      return Completed(command);
    case kAtaSecurityEraseUnit:
      if (!prepared)
        return Aborted(command);
      return RunSecurity(command);
    case kAtaSecuritySetPassword:
    case kAtaSecurityUnlock:
    case kAtaSecurityFreezeLock:
    case kAtaSecurityDisablePassword:
      return RunSecurity(command);
    default:
      return Aborted(command);
  }
}

bool SimulatedDisk::RunVendorSequence(const AtaCommand& command, AtaResult* result) {
  const TaskFile& r = command.registers;
  const auto at = [&r](std::uint16_t key) {
    return r.sectorNumber == (key & 0xFF) && r.cylinderLow == (key >> 8) && r.cylinderHigh == 0 &&
           (r.deviceHead & 0x4F) == 0x40;
  };
  const auto isKeyRead = [&](std::uint16_t key) {
    return r.command == kAtaReadSectors && r.sectorCount == 1 && at(key);
  };

  if (vendorSelectedPage_ >= 0) {
    const int page = vendorSelectedPage_;
    vendorSelectedPage_ = -1;
    vendorProgress_ = 0;
    const bool pageRead = (r.command == kAtaReadSectors || r.command == kAtaReadDma) &&
                          at(kVendorPageKey) && !command.extended;
    if (pageRead) {
      const std::size_t sectors = r.sectorCount == 0 ? 256 : r.sectorCount;
      if (!DataPhaseIs(command, AtaDataDirection::kIn, sectors * kAtaSectorBytes)) {
        *result = Aborted(command);
        return true;
      }
      const std::vector<std::uint8_t>& data = image_.vendorPages.at(page);
      const std::size_t copied = std::min(data.size(), command.data.size());
      std::memcpy(command.data.data(), data.data(), copied);
      std::memset(command.data.data() + copied, 0, command.data.size() - copied);
      *result = Completed(command);
      return true;
    }
  }

  if (vendorProgress_ == kVendorKeyCount) {
    vendorProgress_ = 0;
    if (r.command == kAtaWriteSectors && r.sectorCount == 1 && at(kVendorPageKey)) {
      if (!DataPhaseIs(command, AtaDataDirection::kOut, kAtaSectorBytes) ||
          command.data[0] != 0xF0 || command.data[1] != 0x20 ||
          image_.vendorPages.count(command.data[11]) == 0) {
        *result = Aborted(command);
        return true;
      }
      vendorSelectedPage_ = command.data[11];
      *result = Completed(command);
      return true;
    }
  }

  if (isKeyRead(kVendorKeys[vendorProgress_])) {
    ++vendorProgress_;
  } else {
    vendorProgress_ = isKeyRead(kVendorKeys[0]) ? 1 : 0;
  }
  return false;  // key reads are ordinary reads as well
}

AtaResult SimulatedDisk::RunIdentify(const AtaCommand& command) {
  const bool packetCommand = command.registers.command == kAtaIdentifyPacketDevice;
  if (packetCommand != packetDevice_) {
    AtaResult result = Aborted(command);
    if (packetDevice_) {
      // The signature that tells the host to use IDENTIFY PACKET DEVICE.
      result.registers.sectorCount = 0x01;
      result.registers.sectorNumber = 0x01;
      result.registers.cylinderLow = 0x14;
      result.registers.cylinderHigh = 0xEB;
    }
    return result;
  }
  if (!DataPhaseIs(command, AtaDataDirection::kIn, kAtaSectorBytes))
    return Aborted(command);
  std::memcpy(command.data.data(), identifyNow_.data(), kAtaSectorBytes);
  return Completed(command);
}

AtaResult SimulatedDisk::RunSmart(const AtaCommand& command) {
  const TaskFile& r = command.registers;
  if (r.features == kSmartReadData)
    standby_ = false;  // the data sector lives on the media
  if (!smartSupported_ || r.cylinderLow != kSmartSignatureLow ||
      r.cylinderHigh != kSmartSignatureHigh) {
    return Aborted(command);
  }
  switch (r.features) {
    case kSmartReadData:
    case kSmartReadThresholds: {
      if (r.features == kSmartReadData && !smartEnabled_)
        return Aborted(command);
      if (!DataPhaseIs(command, AtaDataDirection::kIn, kAtaSectorBytes))
        return Aborted(command);
      const Sector& source = r.features == kSmartReadData ? image_.smart : image_.thresholds;
      std::memcpy(command.data.data(), source.data(), kAtaSectorBytes);
      if (r.features == kSmartReadData) {
        // The live execution status, the checksum byte kept true.
        std::uint8_t& status = command.data[kSelfTestStatusByte];
        const std::uint8_t now = selfTest_.ReadStatus();
        command.data[511] = static_cast<std::uint8_t>(command.data[511] + status - now);
        status = now;
      }
      return Completed(command);
    }
    case kSmartExecuteOffline:
      if (!command.data.empty() || !smartEnabled_ || !selfTest_.Execute(r.sectorNumber))
        return Aborted(command);
      return Completed(command);
    case kSmartReadLog:
      if (!smartEnabled_)
        return Aborted(command);
      // The self-test log is the live one of the tests this disk ran.
      if (r.sectorNumber == kSelfTestLogAddress && r.sectorCount == 1 &&
          DataPhaseIs(command, AtaDataDirection::kIn, kAtaSectorBytes)) {
        const Sector log = selfTest_.LogSector();
        std::memcpy(command.data.data(), log.data(), kAtaSectorBytes);
        return Completed(command);
      }
      return RunReadLog(command, r.sectorNumber, 0, r.sectorCount);
    case kSmartEnableOperations:
    case kSmartDisableOperations:
      if (!command.data.empty())
        return Aborted(command);
      smartEnabled_ = r.features == kSmartEnableOperations;
      return Completed(command);
    case kSmartReturnStatus: {
      if (!command.data.empty() || !smartEnabled_)
        return Aborted(command);
      // Threshold exceeded when a pre-failure attribute's value is at or below its
      // non-zero threshold.
      bool exceeded = false;
      for (std::size_t at = 2; at <= kLastAttributeSlot; at += 12) {
        const std::uint8_t id = image_.smart[at];
        if (id == 0 || (image_.smart[at + 1] & 0x01) == 0)
          continue;
        for (std::size_t t = 2; t <= kLastAttributeSlot; t += 12) {
          if (image_.thresholds[t] != id)
            continue;
          const std::uint8_t threshold = image_.thresholds[t + 1];
          if (threshold != 0 && image_.smart[at + 3] <= threshold)
            exceeded = true;
        }
      }
      AtaResult result = Completed(command);
      result.registers.cylinderLow = exceeded ? 0xF4 : kSmartSignatureLow;
      result.registers.cylinderHigh = exceeded ? 0x2C : kSmartSignatureHigh;
      return result;
    }
    default:
      return Aborted(command);
  }
}

AtaResult SimulatedDisk::RunReadWrite(const AtaCommand& command) {
  const TaskFile& r = command.registers;
  standby_ = false;
  const std::uint8_t code = r.command;
  const bool ext = code == kAtaReadSectorsExt || code == kAtaReadDmaExt ||
                   code == kAtaWriteSectorsExt || code == kAtaWriteDmaExt;
  const bool write = code == kAtaWriteSectors || code == kAtaWriteSectorsExt ||
                     code == kAtaWriteDma || code == kAtaWriteDmaExt;
  if ((r.deviceHead & 0x40) == 0 || (ext && !lba48_) || security_.locked)
    return Aborted(command);
  std::uint64_t lba = 0;
  std::uint64_t count = 0;
  if (ext) {
    const TaskFile& p = command.previousRegisters;
    lba = std::uint64_t{r.sectorNumber} | std::uint64_t{r.cylinderLow} << 8 |
          std::uint64_t{r.cylinderHigh} << 16 | std::uint64_t{p.sectorNumber} << 24 |
          std::uint64_t{p.cylinderLow} << 32 | std::uint64_t{p.cylinderHigh} << 40;
    count = std::uint64_t{p.sectorCount} << 8 | r.sectorCount;
    if (count == 0)
      count = 65536;
  } else {
    lba = std::uint64_t{r.sectorNumber} | std::uint64_t{r.cylinderLow} << 8 |
          std::uint64_t{r.cylinderHigh} << 16 | std::uint64_t(r.deviceHead & 0x0F) << 24;
    count = r.sectorCount == 0 ? 256 : r.sectorCount;
  }
  if (!DataPhaseIs(command, write ? AtaDataDirection::kOut : AtaDataDirection::kIn,
                   count * kAtaSectorBytes)) {
    return Aborted(command);
  }
  if (lba >= capacity_ || count > capacity_ - lba)
    return AtaError(command, kAtaErrorIdnf);
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint8_t* bytes = command.data.data() + i * kAtaSectorBytes;
    if (write) {
      const bool blank =
          std::all_of(bytes, bytes + kAtaSectorBytes, [](std::uint8_t b) { return b == 0; });
      if (blank) {
        sectors_.erase(lba + i);
      } else {
        std::memcpy(sectors_[lba + i].data(), bytes, kAtaSectorBytes);
      }
    } else {
      const auto found = sectors_.find(lba + i);
      if (found == sectors_.end()) {
        std::memset(bytes, 0, kAtaSectorBytes);
      } else {
        std::memcpy(bytes, found->second.data(), kAtaSectorBytes);
      }
    }
  }
  return Completed(command);
}

AtaResult SimulatedDisk::RunReadLog(const AtaCommand& command, int address, std::size_t firstPage,
                                    std::size_t count) {
  const auto log = image_.logs.find(address);
  if (log == image_.logs.end() || count == 0 ||
      !DataPhaseIs(command, AtaDataDirection::kIn, count * kAtaSectorBytes) ||
      (firstPage + count) * kAtaSectorBytes > log->second.size()) {
    return Aborted(command);
  }
  std::memcpy(command.data.data(), log->second.data() + firstPage * kAtaSectorBytes,
              command.data.size());
  return Completed(command);
}

AtaResult SimulatedDisk::RunDataSetManagement(const AtaCommand& command) {
  const TaskFile& r = command.registers;
  if (!trimSupported_ || (r.features & 0x01) == 0 || security_.locked)
    return Aborted(command);
  std::size_t blocks = r.sectorCount;
  if (command.extended)
    blocks |= std::size_t{command.previousRegisters.sectorCount} << 8;
  if (blocks == 0 || !DataPhaseIs(command, AtaDataDirection::kOut, blocks * kAtaSectorBytes)) {
    return Aborted(command);
  }
  std::vector<TrimRange> ranges;
  for (std::size_t at = 0; at + 8 <= command.data.size(); at += 8) {
    const std::uint8_t* e = command.data.data() + at;
    std::uint64_t start = 0;
    for (int i = 5; i >= 0; --i)
      start = start << 8 | e[i];
    const std::uint32_t length = static_cast<std::uint32_t>(e[6] | e[7] << 8);
    if (length == 0)
      continue;
    if (start >= capacity_ || length > capacity_ - start)
      return Aborted(command);
    ranges.push_back(TrimRange{start, length});
  }
  for (const TrimRange& range : ranges) {
    for (auto it = sectors_.begin(); it != sectors_.end() && !trimKeepsData_;) {
      const bool inside =
          it->first >= range.firstLba && it->first - range.firstLba < range.sectorCount;
      it = inside ? sectors_.erase(it) : std::next(it);
    }
    trimmed_.push_back(range);
  }
  return Completed(command);
}

AtaResult SimulatedDisk::RunSecurity(const AtaCommand& command) {
  const std::uint8_t code = command.registers.command;
  if (!security_.supported)
    return Aborted(command);
  if (code == kAtaSecurityFreezeLock) {
    if (!command.data.empty() || security_.locked)
      return Aborted(command);
    security_.frozen = true;
    RefreshSecurityWord();
    return Completed(command);
  }
  if (!DataPhaseIs(command, AtaDataDirection::kOut, kAtaSectorBytes) || security_.frozen) {
    return Aborted(command);
  }
  // Word 0 bit 0 picks the master password; the password is words 1-16.
  const bool master = (command.data[0] & 0x01) != 0;
  const std::uint8_t* given = command.data.data() + 2;
  const auto matches = [&](const std::array<std::uint8_t, 32>& password) {
    return std::memcmp(password.data(), given, password.size()) == 0;
  };
  if (code == kAtaSecuritySetPassword) {
    if (security_.locked)
      return Aborted(command);
    if (master) {
      std::memcpy(masterPassword_.data(), given, masterPassword_.size());
    } else {
      std::memcpy(userPassword_.data(), given, userPassword_.size());
      security_.enabled = true;
    }
    RefreshSecurityWord();
    return Completed(command);
  }
  // UNLOCK, DISABLE PASSWORD and ERASE UNIT present a password.
  if (security_.failedUnlocks >= kUnlockAttemptLimit)
    return Aborted(command);
  if (code == kAtaSecurityDisablePassword && security_.locked)
    return Aborted(command);
  if (code == kAtaSecurityEraseUnit && !security_.enabled)
    return Aborted(command);
  if (!matches(master ? masterPassword_ : userPassword_)) {
    ++security_.failedUnlocks;
    RefreshSecurityWord();
    return Aborted(command);
  }
  if (code == kAtaSecurityUnlock) {
    security_.locked = false;
  } else if (code == kAtaSecurityDisablePassword) {
    security_.enabled = false;
    userPassword_.fill(0);
  } else {
    sectors_.clear();
    security_.enabled = security_.locked = false;
    userPassword_.fill(0);
    ++security_.erasesDone;
  }
  RefreshSecurityWord();
  return Completed(command);
}

SimulatedSecurity SimulatedDisk::security() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return security_;
}

bool SimulatedDisk::smartEnabled() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return smartEnabled_;
}

bool SimulatedDisk::inStandby() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return standby_;
}

std::vector<TrimRange> SimulatedDisk::TrimmedRanges() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return trimmed_;
}

Sector SimulatedDisk::StoredSector(std::uint64_t lba) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const auto found = sectors_.find(lba);
  return found == sectors_.end() ? Sector{} : found->second;
}

std::size_t SimulatedDisk::StoredSectorCount() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return sectors_.size();
}

std::vector<SimulatedCommandRecord> SimulatedDisk::CommandLog() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return std::vector<SimulatedCommandRecord>(log_.begin(), log_.end());
}

void SimulatedDisk::ClearCommandLog() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  log_.clear();
}

}  // namespace ds
