#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Files the program writes appear at their target only when complete: bytes go to a
// temporary file beside the target, and Commit() flushes it and renames it over the
// target (then syncs the folder, so a power cut cannot lose the new name). Dropped without
// Commit() (or after any failed write) the temporary file is removed and the target stays
// as it was. Every file the program writes goes through here: ReplaceFileAtomically for
// texts built in memory, this class for outputs too large for that (workbooks).
namespace ds {

// Who may read a file the program writes.
enum class FileAccess {
  kShared,     // 0644: pages, tables, history
  kOwnerOnly,  // 0600: files holding secrets (the mail password)
};

// Whether a replaced file must reach the disk before the rename: settings and history
// must survive a power cut; pages that are rebuilt on every visit need not.
enum class FileDurability { kFlushed, kUnflushed };

struct OutputOptions {
  FileAccess access = FileAccess::kShared;
  FileDurability durability = FileDurability::kFlushed;
  // A path a user named (an export's -o). An existing target must be a regular file: a
  // device, FIFO, socket or folder is refused. A symbolic link is followed to the regular
  // file it names only when the link belongs to the caller and does not sit in a sticky,
  // world-writable folder (/tmp), as the kernel's protected-symlinks rule has it; that file
  // is then replaced with its owner and mode kept.
  bool userPath = false;
};

class AtomicOutputFile {
 public:
  AtomicOutputFile() = default;
  ~AtomicOutputFile();
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  // Creates the temporary file beside `target` (or beside the file a user's link names).
  // False with `message` when the target is refused or the file cannot be made.
  bool Open(const std::string& target, const OutputOptions& options, std::string* message);
  // Buffers and writes; a failure is remembered and reported by Commit().
  void Write(const void* data, std::size_t size);
  // Writes what is buffered, syncs, closes and renames over the target.
  bool Commit(std::string* message);

 private:
  bool Flush();
  void Discard();

  OutputOptions options_;
  std::string target_;
  std::string temporary_;
  std::string buffer_;
  int fd_ = -1;
  int failedErrno_ = 0;
  std::uint64_t onDisk_ = 0;     // bytes handed to the kernel
  std::uint64_t writeBack_ = 0;  // bytes whose write-back has been started
};

// Writes `content` as a whole file at `path` through an AtomicOutputFile.
bool ReplaceFileAtomically(const std::string& path, std::string_view content,
                           const OutputOptions& options, std::string* message);

}  // namespace ds
