#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace ds {
namespace {

std::string ErrnoText(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// Closes a file descriptor when it goes out of scope.
class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports whether the close succeeded.
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

std::string TemporaryNameBeside(const std::string& path) {
  std::random_device random;
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, ".tmp-%d-%08x", static_cast<int>(::getpid()), random());
  return path + suffix;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string* content,
                   std::string* message) {
  content->clear();
  ScopedFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    *message = ErrnoText("cannot open", path);
    return false;
  }
  struct stat info;
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    *message = "not a regular file: " + path;
    return false;
  }
  if (static_cast<std::size_t>(info.st_size) > maxBytes) {
    *message = "file too large: " + path;
    return false;
  }
  content->reserve(static_cast<std::size_t>(info.st_size));
  char buffer[16384];
  for (;;) {
    ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0) {
      *message = ErrnoText("cannot read", path);
      content->clear();
      return false;
    }
    if (got == 0)
      break;
    if (content->size() + static_cast<std::size_t>(got) > maxBytes) {  // grew while reading
      *message = "file too large: " + path;
      content->clear();
      return false;
    }
    content->append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view content, FileAccess access,
                           std::string* message, FileDurability durability) {
  const mode_t mode = access == FileAccess::kOwnerOnly ? 0600 : 0644;
  const std::string temporary = TemporaryNameBeside(path);
  ScopedFd fd(
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
  if (fd.get() < 0) {
    *message = ErrnoText("cannot create", temporary);
    return false;
  }
  // The umask may have removed bits; an owner-only file must never be wider than 0600.
  ::fchmod(fd.get(), mode);
  const char* data = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    ssize_t written = ::write(fd.get(), data, left);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0) {
      *message = ErrnoText("cannot write", temporary);
      ::unlink(temporary.c_str());
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  const bool flushed = durability == FileDurability::kUnflushed || ::fsync(fd.get()) == 0;
  if (!flushed || !fd.Close()) {
    *message = ErrnoText("cannot flush", temporary);
    ::unlink(temporary.c_str());
    return false;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    *message = ErrnoText("cannot replace", path);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

std::string ExeDirectory() {
  char buffer[4096];
  ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0)
    return "./";
  std::string path(buffer, static_cast<std::size_t>(length));
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

}  // namespace ds
