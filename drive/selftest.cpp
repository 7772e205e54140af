#include "drive/selftest.h"

#include <array>

#include "drive/ata_transport.h"
#include "drive/identify_decoder.h"
#include "drive/power_mode.h"
#include "drive/security_commands.h"

namespace ds {

namespace {

constexpr std::size_t kOfflineCapabilityByte = 367;
constexpr std::size_t kShortPollByte = 372;
constexpr std::size_t kExtendedPollByte = 373;
constexpr std::size_t kExtendedPollWord = 375;  // bytes 375-376, little-endian

const char* KindName(SelfTestKind kind) {
  switch (kind) {
    case SelfTestKind::kShort:
      return "short";
    case SelfTestKind::kExtended:
      return "extended";
    case SelfTestKind::kAbort:
      break;
  }
  return "abort";
}

}  // namespace

std::optional<std::uint8_t> OfflineSubcommand(SelfTestKind kind) {
  switch (kind) {
    case SelfTestKind::kShort:
      return 0x01;
    case SelfTestKind::kExtended:
      return 0x02;
    case SelfTestKind::kAbort:
      return 0x7F;
  }
  return std::nullopt;
}

SelfTestCapability DecodeSelfTestCapability(std::span<const std::uint8_t> smartData,
                                            const IdentifyWords& identify) {
  SelfTestCapability capability;
  if (smartData.size() < kSmartSectorBytes)
    return capability;
  const bool word84Valid = (identify[84] & 0xC000) == 0x4000;
  capability.supported = (smartData[kOfflineCapabilityByte] & 0x10) != 0 ||
                         (word84Valid && (identify[84] & 0x0002) != 0);
  capability.shortMinutes = smartData[kShortPollByte];
  capability.extendedMinutes = smartData[kExtendedPollByte];
  if (capability.extendedMinutes == 0xFF)
    capability.extendedMinutes = smartData[kExtendedPollWord] | smartData[kExtendedPollWord + 1]
                                                                    << 8;
  return capability;
}

SelfTestExecution DecodeSelfTestExecution(std::uint8_t statusByte) {
  return {statusByte >> 4, (statusByte & 0x0F) * 10};
}

std::string SelfTestStateText(int state) {
  static const char* const kTexts[] = {
      "Completed without error",       "Aborted by host",
      "Interrupted (host reset)",      "Fatal or unknown error",
      "Completed: unknown failure",    "Completed: electrical failure",
      "Completed: servo/seek failure", "Completed: read failure",
      "Completed: handling damage"};
  if (state >= 0 && state <= 8)
    return kTexts[state];
  if (state == 0xF)
    return "In progress";
  return "Unknown status (" + std::to_string(state) + ")";
}

std::string SelfTestRefusal(const SelfTestDiskState& state, SelfTestKind kind) {
  if (!OfflineSubcommand(kind))
    return "That is not a self-test this program sends.";
  if (state.busy)
    return "The disk is busy (being erased or read); no self-test was started.";
  if (state.asleep)
    return "The disk is asleep (standby); it is left asleep and no self-test was started.";
  if (!state.capability.supported)
    return "The disk does not support self-tests.";
  if (kind == SelfTestKind::kAbort) {
    return state.execution.running() ? "" : "No self-test is running, so there is none to abort.";
  }
  if (state.execution.running()) {
    return "A self-test is already running (" + std::to_string(state.execution.remainingPercent) +
           "% left); abort it first or wait until it ends.";
  }
  return "";
}

SelfTestOutcome RunSelfTest(DiskSystem& disks, int driveNumber, const std::string& serial,
                            SelfTestKind kind) {
  SelfTestOutcome outcome;
  auto fail = [&outcome](SelfTestResult result, std::string message) {
    outcome.result = result;
    outcome.message = std::move(message);
    return outcome;
  };
  SelfTestDiskState state;
  state.busy = disks.IsBusy(driveNumber);
  if (state.busy)
    return fail(SelfTestResult::kRefused, SelfTestRefusal(state, kind));
  std::string message;
  AtaOpenMode mode;
  std::unique_ptr<AtaDevice> device = disks.Open(driveNumber, mode, &message);
  if (!device)
    return fail(SelfTestResult::kFailed, "The disk cannot be opened: " + message);
  auto serialised = device->HoldExclusive();
  // CHECK POWER MODE first: every read below would spin a sleeping disk up.
  state.asleep = CheckPowerMode(*device) == PowerState::kStandby;
  if (state.asleep)
    return fail(SelfTestResult::kRefused, SelfTestRefusal(state, kind));
  IdentifyWords words{};
  if (!ReadIdentifyWords(*device, &words, &message))
    return fail(SelfTestResult::kFailed, "The disk cannot be identified: " + message);
  DriveRecord found;
  DecodeIdentify(words, &found);
  if (found.serial != serial) {
    return fail(SelfTestResult::kRefused, "Physical drive " + std::to_string(driveNumber) +
                                              " now has the serial \"" + found.serial +
                                              "\", not \"" + serial + "\"; nothing was started.");
  }
  std::array<std::uint8_t, kSmartReplyBufferBytes> smart{};
  if (!ReadSmartData(*device, driveNumber, smart, &message))
    return fail(SelfTestResult::kFailed, "The S.M.A.R.T. data cannot be read: " + message);
  state.capability = DecodeSelfTestCapability(smart, words);
  state.execution = DecodeSelfTestExecution(smart[kSelfTestStatusByte]);
  if (const std::string refusal = SelfTestRefusal(state, kind); !refusal.empty())
    return fail(SelfTestResult::kRefused, refusal);

  TaskFile taskFile{kSmartExecuteOfflineImmediate,
                    0,
                    *OfflineSubcommand(kind),
                    kSmartSignatureLow,
                    kSmartSignatureHigh,
                    DeviceHeadForDrive(driveNumber),
                    kAtaSmart};
  if (!AtaPassThroughDirectNoData(*device, &taskFile, &message)) {
    return fail(SelfTestResult::kFailed,
                std::string("The disk refused the ") + KindName(kind) + " command: " + message);
  }
  outcome.result = SelfTestResult::kStarted;
  if (kind == SelfTestKind::kAbort) {
    outcome.message = "The running self-test was aborted.";
    return outcome;
  }
  outcome.estimatedMinutes = kind == SelfTestKind::kShort ? state.capability.shortMinutes
                                                          : state.capability.extendedMinutes;
  outcome.message = std::string(kind == SelfTestKind::kShort ? "A " : "An ") + KindName(kind) +
                    " self-test was started in off-line mode; it takes about " +
                    std::to_string(outcome.estimatedMinutes) + " minutes.";
  return outcome;
}

}  // namespace ds
