#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/disk_system.h"
#include "platform/identify_words.h"

// Drive self-tests, off-line mode only: SMART EXECUTE OFF-LINE IMMEDIATE (B0h/D4h) with
// LBA low 01h (short), 02h (extended) or 7Fh (abort). The disk runs an off-line test in the
// background and keeps answering commands; the captive forms (81h, 82h) would hold it, and
// possibly the system disk, for the whole test, so this API has no way to send them.
namespace ds {

// The three requests there are; OfflineSubcommand() maps each to its LBA low value.
enum class SelfTestKind { kShort, kExtended, kAbort };

// LBA low of SMART EXECUTE OFF-LINE IMMEDIATE for `kind`: 01h, 02h or 7Fh. Empty for a
// value outside the enum, so nothing else can ever be sent.
std::optional<std::uint8_t> OfflineSubcommand(SelfTestKind kind);

inline constexpr std::uint8_t kSmartExecuteOfflineImmediate = 0xD4;
// SMART data byte 363: the self-test execution status (see SelfTestExecution).
inline constexpr std::size_t kSelfTestStatusByte = 363;

// What the SMART data sector says about self-tests.
struct SelfTestCapability {
  // SMART data byte 367 bit 4, or IDENTIFY word 84 bit 1 (when word 84 is valid).
  bool supported = false;
  int shortMinutes = 0;     // byte 372
  int extendedMinutes = 0;  // byte 373; bytes 375-376 when it is FFh
};
SelfTestCapability DecodeSelfTestCapability(std::span<const std::uint8_t> smartData,
                                            const IdentifyWords& identify);

// The self-test execution status, SMART data byte 363: the high nibble the state (0 done
// or never run, 1 aborted by the host, 2 interrupted by a reset, 3 fatal error, 4 unknown
// failure, 5 electrical, 6 servo, 7 read failure, 8 handling damage, Fh running), the low
// nibble the share still to do in tens of percent.
struct SelfTestExecution {
  int state = 0;
  int remainingPercent = 0;
  bool running() const { return state == 0xF; }
};
SelfTestExecution DecodeSelfTestExecution(std::uint8_t statusByte);

// "Completed without error", "Aborted by host", ... "In progress"; shared with the log.
std::string SelfTestStateText(int state);

// What the disk is doing, as the checks before a start see it.
struct SelfTestDiskState {
  bool busy = false;    // marked busy (an erase, a vendor read)
  bool asleep = false;  // in standby
  SelfTestCapability capability;
  SelfTestExecution execution;
};

// "" when `kind` may be sent to a disk in `state`; else why not, for the user.
std::string SelfTestRefusal(const SelfTestDiskState& state, SelfTestKind kind);

enum class SelfTestResult {
  kStarted,  // the disk accepted the command (for kAbort: the running test was stopped)
  kRefused,  // nothing was sent
  kFailed,   // the disk could not be read, or refused the command
};

struct SelfTestOutcome {
  SelfTestResult result = SelfTestResult::kRefused;
  int estimatedMinutes = 0;  // of the test started
  std::string message;       // for the user: what was started, or why not
};

// Checks disk `driveNumber` (busy, asleep, the serial still `serial`, self-tests supported,
// no test running unless `kind` is kAbort) and sends the command.
SelfTestOutcome RunSelfTest(DiskSystem& disks, int driveNumber, const std::string& serial,
                            SelfTestKind kind);

}  // namespace ds
