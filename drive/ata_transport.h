#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/ata_device.h"
#include "platform/task_file.h"

// The ATA command layer every drive operation goes through: SMART enable and read, the
// threshold read, the vendor reads and writes and the security commands. Each operation
// takes a disk opened by the caller, returns success and overwrites `message` with one
// line (the error, or the status and timing of a direct command). Stateless; safe to
// call from several threads, each with its own handle and buffers.
namespace ds {

// Time-outs of the two pass-through families, in milliseconds.
inline constexpr int kBufferedPassThroughTimeoutMs = 10000;
inline constexpr int kDirectPassThroughTimeoutMs = 5000;

// Sizes of the SMART buffers callers pass: the data sector lands in the first 512 bytes
// of a 531-byte buffer (the size of the SMART driver reply).
inline constexpr std::size_t kSmartSectorBytes = 512;
inline constexpr std::size_t kSmartReplyBufferBytes = 531;

// Enables SMART operations through the SMART driver path, then reads the threshold
// sector with AtaPassThroughDirectRead into `thresholdBuffer` (at least 512 bytes).
bool EnableSmart(AtaDevice& device, int driveNumber, std::span<std::uint8_t> thresholdBuffer,
                 std::string* message);

// Reads the SMART data sector into the first 512 bytes of `dataBuffer` (at least 512
// bytes): buffered pass-through first, the SMART driver path when that fails.
// `message`, when given, receives the last failure's text.
bool ReadSmartData(AtaDevice& device, int driveNumber, std::span<std::uint8_t> dataBuffer,
                   std::string* message = nullptr);

// SMART ENABLE OPERATIONS through the buffered pass-through.
bool EnableSmartPassThrough(AtaDevice& device, int driveNumber, std::string* message);

// The buffered pass-through: one command with `flags` kAtaFlagsDataIn, kAtaFlagsDataOut
// or 0 (no data). `taskFile` goes in and comes back with the device's registers.
// Success only when the returned status is exactly 0x50; data-in bytes reach `data`
// only then.
bool AtaPassThrough(AtaDevice& device, TaskFile* taskFile, std::span<std::uint8_t> data, int flags,
                    std::string* message);

// The direct pass-through family: success when the command went through and the
// returned status has neither ERR nor DRQ set; the message then gives the status and the
// elapsed milliseconds.
bool AtaPassThroughDirectRead(AtaDevice& device, TaskFile* taskFile, std::span<std::uint8_t> buffer,
                              std::string* message, int timeoutMs = kDirectPassThroughTimeoutMs);
bool AtaPassThroughDirectWrite(AtaDevice& device, TaskFile* taskFile,
                               std::span<const std::uint8_t> buffer, std::string* message,
                               int timeoutMs = kDirectPassThroughTimeoutMs);
bool AtaPassThroughDirectNoData(AtaDevice& device, TaskFile* taskFile, std::string* message,
                                int timeoutMs = kDirectPassThroughTimeoutMs);

// The text of an OS error number, or "Sorry, cannot find this error info." when there is
// none (0, or a number the system has no text for).
std::string LastErrorText(int osError);

}  // namespace ds
