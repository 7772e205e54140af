#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ata_device.h"
#include "platform/sim/simulated_selftest.h"

// A simulated ATA disk built from one drive folder of a simulated machine. It lives as
// long as the machine does, because its state (written sectors, security state, SMART
// enabled, vendor key progress, fault counters) must outlast the handles the program
// opens for every operation. All commands go through one lock, so handles on several
// threads see a disk that executes one command at a time.
//
// Drive folder contents:
//   identify.bin     IDENTIFY (PACKET) DEVICE data, exactly 512 bytes
//   smart.bin        SMART READ DATA sector, exactly 512 bytes
//   thresholds.bin   SMART READ THRESHOLDS sector, exactly 512 bytes
//   vendor_page_N.bin  optional: the vendor page that selector byte 11 = N picks
//                    (N decimal, 0-255); a multiple of 512 bytes, at most 255 sectors
//   log-XX.bin       optional: the log at address XX (two hex digits), one 512-byte page
//                    after another; READ LOG EXT (when IDENTIFY word 84 or 87 bit 5 says
//                    general purpose logging) and SMART READ LOG read it, and abort for a
//                    log without a file (log-00.bin is the log directory)
//   description.dat  optional key=value description. Keys read here (all optional;
//                    keys not listed are left for other readers, such as the bus type
//                    and volumes of the disk system):
//
//   sectors=N                   capacity in sectors (default: IDENTIFY words 100-103
//                               when 48-bit addressing is supported, else words 60-61)
//   smart_enabled=0|1           SMART operations enabled at power-on (default 1)
//   trim_supported=0|1          DATA SET MANAGEMENT TRIM accepted
//                               (default: IDENTIFY word 169 bit 0)
//   standby=0|1                 the disk is spun down at power-on: CHECK POWER MODE says
//                               so until a media access (a read, a write, S.M.A.R.T. data)
//                               spins it up
//   trim_keeps_data=0|1         TRIM completes and its ranges are recorded, but the
//                               sectors keep their data (default 0)
//   security_state=disabled|enabled|locked|frozen
//                               security state at power-on (default: IDENTIFY word
//                               128; frozen keeps the enabled bit of word 128)
//   security_user_password=TEXT user password of an enabled or locked disk, at most
//                               32 characters, zero-padded
//   security_master_password=TEXT  master password, same form (default all zeros)
//   vendor_protocol=0|1         answers the vendor key-sector sequence (default: SMART
//                               data bytes 400-401 are "SM")
//   self_test_percent_per_read=N  how far each read of the SMART data moves a running
//                               self-test (1-100, default 30); SMART data byte 363 is the
//                               execution status at power-on
//   self_test_fail_lba=N        every self-test ends in a read failure at LBA N
//   fault_open_failures=N       the next N opens fail (0-1000)
//   fault_refuse_pass_through=0|1  the driver refuses ATA pass-through; the SMART
//                               driver path still works
//   fault_refuse_smart_driver=0|1  the driver refuses the SMART driver path
//   fault_abort_commands=LIST   commands that abort with ERR and ABRT
//   fault_status_commands=LIST  commands that complete with status `fault_status`
//   fault_status=0xNN           (default 0x58: DRQ still set)
//   fault_slow_commands=LIST    commands that take `fault_slow_ms` milliseconds; with a
//                               shorter time-out the call fails with a time-out
//   fault_slow_ms=N             (default 60000, at most 600000)
//   fault_short_transfer_commands=LIST  data commands that move only half their data
//   fault_reset_commands=LIST   commands that fail in transport and leave the device
//                               reset, as the host does after a command that hangs: a
//                               disk with a user password comes out of the reset locked
//
// A LIST is comma-separated entries "CMD" or "CMD:FEATURES" in hexadecimal, with or
// without "0x" (e.g. "0xB0:0xD0, F4"). Values that do not parse fail the load with a
// message naming the key.
namespace ds {

class IniFileReader;

// One TRIM range the disk accepted.
struct TrimRange {
  std::uint64_t firstLba = 0;
  std::uint32_t sectorCount = 0;
  bool operator==(const TrimRange&) const = default;
};

// The security feature set state of the disk.
struct SimulatedSecurity {
  bool supported = false;
  bool enabled = false;  // a user password is set
  bool locked = false;   // media access refused until unlocked or erased
  bool frozen = false;   // security commands refused until power-off
  bool erasePrepared = false;
  int failedUnlocks = 0;  // wrong passwords since power-on; 5 expire the counter
  int erasesDone = 0;
};

// One command as the disk saw it, for tests of the command sequences.
struct SimulatedCommandRecord {
  TaskFile registers;
  AtaProtocol protocol = AtaProtocol::kNonData;
  std::size_t dataBytes = 0;
  bool viaSmartDriver = false;
  std::vector<std::uint8_t> dataOut;  // the first 512 bytes a data-out command sent
  TaskFile previousRegisters;         // the high-order bytes of a 48-bit command
};

// One entry of a command list in the description: a command, optionally narrowed to one
// features value.
struct CommandMatch {
  std::uint8_t command = 0;
  int features = -1;  // -1: any
  bool Matches(const TaskFile& registers) const;
};

using Sector = std::array<std::uint8_t, 512>;

// The raw sectors and description a disk is built from.
struct SimulatedDiskImage {
  Sector identify{};
  Sector smart{};
  Sector thresholds{};
  std::map<int, std::vector<std::uint8_t>> vendorPages;
  std::map<int, std::vector<std::uint8_t>> logs;  // by log address, whole pages
  std::string name;                               // for messages: the drive folder
};

class SimulatedDisk : public std::enable_shared_from_this<SimulatedDisk> {
 public:
  // Loads a drive folder. Null with `message` set when a sector file is missing, not
  // exactly 512 bytes, or the description holds a value that makes no sense.
  static std::shared_ptr<SimulatedDisk> Load(const std::string& driveFolder, std::string* message);

  // Builds a disk from sectors already in memory and a parsed description.
  static std::shared_ptr<SimulatedDisk> Create(SimulatedDiskImage image,
                                               const IniFileReader& description,
                                               std::string* message);

  // A new handle on this disk, or null with `message` set while the open fault is
  // armed (each failed open uses up one of the configured failures). An exclusive handle
  // is refused while any other handle is open, and no handle opens while it is held.
  std::unique_ptr<AtaDevice> OpenHandle(std::string* message, bool exclusive = false);
  // Called by a handle as it closes.
  void HandleClosed(bool exclusive);

  // The AtaDevice operations; handles forward here.
  AtaResult Execute(const AtaCommand& command);
  AtaResult SmartDriverCommand(const TaskFile& registers, std::span<std::uint8_t> dataIn);
  bool PassThroughAvailable() const;
  std::unique_lock<std::recursive_mutex> HoldExclusive();

  // Inspection, for tests and the simulated machine.
  const std::string& name() const { return image_.name; }
  std::uint64_t capacity() const { return capacity_; }
  SimulatedSecurity security() const;
  bool smartEnabled() const;
  // True while the disk is spun down.
  bool inStandby() const;
  std::vector<TrimRange> TrimmedRanges() const;
  // The stored contents of one sector (zeros when never written or trimmed).
  Sector StoredSector(std::uint64_t lba) const;
  std::size_t StoredSectorCount() const;
  std::vector<SimulatedCommandRecord> CommandLog() const;
  void ClearCommandLog();

 private:
  struct Faults {
    int openFailures = 0;
    bool refusePassThrough = false;
    bool refuseSmartDriver = false;
    std::vector<CommandMatch> abort;
    std::vector<CommandMatch> status;
    std::uint8_t statusValue = 0x58;
    std::vector<CommandMatch> slow;
    int slowMs = 60000;
    std::vector<CommandMatch> shortTransfer;
    std::vector<CommandMatch> reset;
  };
  SimulatedDisk() = default;
  bool Configure(const IniFileReader& description, std::string* message);

  // Runs one command against the model; the caller holds mutex_.
  AtaResult Run(const AtaCommand& command);
  AtaResult RunSmart(const AtaCommand& command);
  AtaResult RunIdentify(const AtaCommand& command);
  AtaResult RunReadWrite(const AtaCommand& command);
  AtaResult RunDataSetManagement(const AtaCommand& command);
  AtaResult RunSecurity(const AtaCommand& command);
  // READ LOG EXT and SMART READ LOG: `count` pages of log `address` from `firstPage`.
  AtaResult RunReadLog(const AtaCommand& command, int address, std::size_t firstPage,
                       std::size_t count);
  // Advances the vendor key sequence; true when the command was taken by it (result set).
  bool RunVendorSequence(const AtaCommand& command, AtaResult* result);
  void Record(const TaskFile& registers, AtaProtocol protocol, std::span<const std::uint8_t> data,
              bool driver);
  void RefreshSecurityWord();

  mutable std::recursive_mutex mutex_;
  SimulatedDiskImage image_;
  Sector identifyNow_{};  // identify with the live security word
  std::uint64_t capacity_ = 0;
  bool smartSupported_ = false;
  bool smartEnabled_ = true;
  bool trimSupported_ = false;
  bool trimKeepsData_ = false;
  bool standby_ = false;
  int openHandles_ = 0;
  bool exclusiveHeld_ = false;
  bool lba48_ = false;
  bool generalPurposeLogging_ = false;
  bool packetDevice_ = false;
  bool vendorProtocol_ = false;
  int vendorProgress_ = 0;       // key reads matched so far; 5 = unlocked
  int vendorSelectedPage_ = -1;  // page picked by the selector write
  SimulatedSecurity security_;
  std::array<std::uint8_t, 32> userPassword_{};
  std::array<std::uint8_t, 32> masterPassword_{};
  std::unordered_map<std::uint64_t, Sector> sectors_;
  std::vector<TrimRange> trimmed_;
  std::deque<SimulatedCommandRecord> log_;
  Faults faults_;
  SimulatedSelfTest selfTest_;
};

}  // namespace ds
