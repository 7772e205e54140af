#pragma once

#include <array>
#include <cstdint>
#include <optional>

// The self-test machinery of a simulated disk: SMART EXECUTE OFF-LINE IMMEDIATE starts or
// aborts a test, each read of the SMART data (the execution status, byte 363) moves a
// running test on by a fixed share, and a test that ends is written into the SMART
// self-test log (log 06h: 21 descriptors of 24 bytes in a ring, index at byte 508).
namespace ds {

class SimulatedSelfTest {
 public:
  // `statusByte` is SMART data byte 363 at power-on (Fxh: a short test runs with x tens of
  // percent left); `percentPerRead` how far one status read moves a test; with `failLba`
  // every test ends in a read failure at that LBA once half of it is done; `powerOnHours`
  // stamps the log descriptors.
  void Configure(std::uint8_t statusByte, int percentPerRead, std::optional<std::uint64_t> failLba,
                 std::uint16_t powerOnHours);

  // EXECUTE OFF-LINE IMMEDIATE with LBA low `subcommand`. Only 01h, 02h and 7Fh are
  // taken (false: the disk aborts the command); a start while a test runs aborts that test
  // first, an abort with none running does nothing.
  bool Execute(std::uint8_t subcommand);

  // One read of the execution status: moves a running test on, then returns byte 363.
  std::uint8_t ReadStatus();

  // The self-test log sector, checksum included.
  std::array<std::uint8_t, 512> LogSector() const { return log_; }

 private:
  void Finish(int state);

  std::uint8_t status_ = 0;
  std::uint8_t running_ = 0;  // LBA low of the running test; 0 when none runs
  int remaining_ = 0;         // percent
  int percentPerRead_ = 30;
  std::optional<std::uint64_t> failLba_;
  std::uint16_t powerOnHours_ = 0;
  std::array<std::uint8_t, 512> log_{};
};

}  // namespace ds
