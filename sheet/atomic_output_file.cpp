#include "sheet/atomic_output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace ds {
namespace {

constexpr std::size_t kBufferBytes = 1u << 16;
// Write-back of a large file is started every this many bytes, so the final sync has
// little left to wait for.
constexpr std::uint64_t kWriteBackBytes = 1u << 20;

std::string TemporaryNameBeside(const std::string& path) {
  std::random_device random;
  char suffix[40];
  std::snprintf(suffix, sizeof suffix, ".tmp-%d-%08x", static_cast<int>(::getpid()), random());
  return path + suffix;
}

std::string ErrnoText(const char* what, const std::string& path, int error) {
  return std::string(what) + " " + path + ": " + std::strerror(error);
}

}  // namespace

AtomicOutputFile::~AtomicOutputFile() {
  Discard();
}

bool AtomicOutputFile::Open(const std::string& target, std::string* message) {
  Discard();
  target_ = target;
  temporary_ = TemporaryNameBeside(target);
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd_ < 0) {
    if (message)
      *message = ErrnoText("cannot create", temporary_, errno);
    temporary_.clear();
    return false;
  }
  ::fchmod(fd_, 0644);
  failedErrno_ = 0;
  written_ = 0;
  onDisk_ = 0;
  writeBack_ = 0;
  buffer_.clear();
  buffer_.reserve(kBufferBytes);
  return true;
}

void AtomicOutputFile::Write(const void* data, std::size_t size) {
  written_ += size;
  if (fd_ < 0 || failedErrno_ != 0)
    return;
  buffer_.append(static_cast<const char*>(data), size);
  if (buffer_.size() >= kBufferBytes)
    Flush();
}

bool AtomicOutputFile::Flush() {
  const char* data = buffer_.data();
  std::size_t left = buffer_.size();
  while (left > 0 && failedErrno_ == 0) {
    const ssize_t done = ::write(fd_, data, left);
    if (done < 0 && errno == EINTR)
      continue;
    if (done <= 0) {
      failedErrno_ = done < 0 ? errno : EIO;
      break;
    }
    data += done;
    left -= static_cast<std::size_t>(done);
    onDisk_ += static_cast<std::uint64_t>(done);
  }
  buffer_.clear();
  if (failedErrno_ == 0 && onDisk_ - writeBack_ >= kWriteBackBytes) {
    // Only a hint: a failure here shows up again at the final fsync.
    ::sync_file_range(fd_, static_cast<off64_t>(writeBack_),
                      static_cast<off64_t>(onDisk_ - writeBack_), SYNC_FILE_RANGE_WRITE);
    writeBack_ = onDisk_;
  }
  return failedErrno_ == 0;
}

bool AtomicOutputFile::Commit(std::string* message) {
  if (fd_ < 0) {
    if (message)
      *message = "no file is open";
    return false;
  }
  if (!Flush()) {
    if (message)
      *message = ErrnoText("cannot write", temporary_, failedErrno_);
    Discard();
    return false;
  }
  const int fd = fd_;
  fd_ = -1;
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    if (message)
      *message = ErrnoText("cannot flush", temporary_, errno);
    Discard();
    return false;
  }
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    if (message)
      *message = ErrnoText("cannot replace", target_, errno);
    Discard();
    return false;
  }
  temporary_.clear();
  return true;
}

void AtomicOutputFile::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
  buffer_.clear();
}

}  // namespace ds
