#include "platform/sim/simulated_selftest.h"

#include <algorithm>

namespace ds {

namespace {

constexpr int kDescriptors = 21;
constexpr std::size_t kDescriptorBytes = 24;
constexpr std::size_t kIndexByte = 508;
constexpr int kAbortedByHost = 1;
constexpr int kReadFailure = 7;

// Tens of percent left, as the low nibble of a status byte holds them (at most 9).
std::uint8_t Tenths(int percent) {
  return static_cast<std::uint8_t>(std::clamp((percent + 9) / 10, 0, 9));
}

}  // namespace

void SimulatedSelfTest::Configure(std::uint8_t statusByte, int percentPerRead,
                                  std::optional<std::uint64_t> failLba,
                                  std::uint16_t powerOnHours) {
  status_ = statusByte;
  percentPerRead_ = std::max(1, percentPerRead);
  failLba_ = failLba;
  powerOnHours_ = powerOnHours;
  if ((statusByte >> 4) == 0xF) {
    running_ = 0x01;
    remaining_ = (statusByte & 0x0F) * 10;
  }
  log_[0] = 0x01;  // revision
}

bool SimulatedSelfTest::Execute(std::uint8_t subcommand) {
  if (subcommand != 0x01 && subcommand != 0x02 && subcommand != 0x7F)
    return false;
  if (running_ != 0)
    Finish(kAbortedByHost);
  if (subcommand == 0x7F)
    return true;
  running_ = subcommand;
  remaining_ = 100;
  status_ = static_cast<std::uint8_t>(0xF0 | Tenths(remaining_));
  return true;
}

std::uint8_t SimulatedSelfTest::ReadStatus() {
  if (running_ == 0)
    return status_;
  remaining_ -= percentPerRead_;
  if (failLba_ && remaining_ <= 50) {
    Finish(kReadFailure);
  } else if (remaining_ <= 0) {
    remaining_ = 0;
    Finish(0);
  } else {
    status_ = static_cast<std::uint8_t>(0xF0 | Tenths(remaining_));
  }
  return status_;
}

void SimulatedSelfTest::Finish(int state) {
  status_ = static_cast<std::uint8_t>(state << 4 | (state == 0 ? 0 : Tenths(remaining_)));
  const int index = log_[kIndexByte] % kDescriptors + 1;
  std::uint8_t* d = log_.data() + 2 + static_cast<std::size_t>(index - 1) * kDescriptorBytes;
  std::fill_n(d, kDescriptorBytes, 0);
  d[0] = running_;
  d[1] = status_;
  d[2] = static_cast<std::uint8_t>(powerOnHours_);
  d[3] = static_cast<std::uint8_t>(powerOnHours_ >> 8);
  const std::uint64_t lba = state == kReadFailure ? *failLba_ : 0xFFFFFFFF;
  for (int i = 0; i < 4; ++i)
    d[5 + i] = static_cast<std::uint8_t>(lba >> (8 * i));
  log_[kIndexByte] = static_cast<std::uint8_t>(index);
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < 511; ++i)
    sum = static_cast<std::uint8_t>(sum + log_[i]);
  log_[511] = static_cast<std::uint8_t>(0x100 - sum);
  running_ = 0;
}

}  // namespace ds
