#pragma once

#include <cstdint>
#include <string>

#include "sheet/byte_sink.h"

// A file written piece by piece that appears at its target only when complete: bytes go
// to a temporary file beside the target, and Commit() flushes it to disk and renames it
// over the target. Dropped without Commit() (or when any write failed), the temporary file
// is removed and the target stays as it was. This is the streaming counterpart of
// ReplaceFileAtomically for outputs too large to build in memory first.
namespace ds {

class AtomicOutputFile final : public ByteSink {
 public:
  AtomicOutputFile() = default;
  ~AtomicOutputFile() override;
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  // Creates the temporary file beside `target` (mode 0644). False when it cannot be made.
  bool Open(const std::string& target, std::string* message);
  // Buffers and writes; a failure is remembered and reported by Commit().
  void Write(const void* data, std::size_t size) override;
  // Writes what is buffered, syncs, closes and renames over the target.
  bool Commit(std::string* message);

 private:
  bool Flush();
  void Discard();

  std::string target_;
  std::string temporary_;
  std::string buffer_;
  int fd_ = -1;
  int failedErrno_ = 0;
  std::uint64_t onDisk_ = 0;     // bytes handed to the kernel
  std::uint64_t writeBack_ = 0;  // bytes whose write-back has been started
};

}  // namespace ds
