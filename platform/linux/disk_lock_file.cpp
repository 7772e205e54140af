#include "platform/disk_lock_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "text/text_helpers.h"

namespace ds {
namespace {

constexpr auto kPollGap = std::chrono::milliseconds(20);

// Makes `folder` and its missing parents owner-only; an existing folder is left as it is.
bool MakeFolder(const std::string& folder, std::string* message) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      SetMessage(message, "cannot make " + part + ": " + std::strerror(errno));
      return false;
    }
    if (slash == std::string::npos)
      return true;
  }
}

}  // namespace

DiskLockFile::~DiskLockFile() {
  Release();
}

DiskLockFile::DiskLockFile(DiskLockFile&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

DiskLockFile& DiskLockFile::operator=(DiskLockFile&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void DiskLockFile::Release() {
  if (fd_ >= 0)
    ::close(fd_);  // closing drops the lock
  fd_ = -1;
}

DiskLockFile::Outcome DiskLockFile::Acquire(const std::string& folder, const std::string& name,
                                            std::chrono::milliseconds wait, std::string* message) {
  Release();
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
    SetMessage(message, "\"" + name + "\" is not a lock file name");
    return Outcome::kFailed;
  }
  if (!MakeFolder(folder, message))
    return Outcome::kFailed;
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();  // O_NOFOLLOW looks at the last part only when no "/" follows it
  const int dir = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir < 0) {
    SetMessage(message, "cannot open " + folder + ": " + std::strerror(errno));
    return Outcome::kFailed;
  }
  // Only a folder of this user that no one else may write keeps others from replacing the
  // lock files (a shared temporary folder may hold one made by someone else).
  struct stat facts {};
  if (::fstat(dir, &facts) != 0 || facts.st_uid != ::geteuid() || (facts.st_mode & 022) != 0) {
    ::close(dir);
    SetMessage(message, "the lock folder " + folder + " is not this user's own");
    return Outcome::kFailed;
  }
  const int fd = ::openat(dir, name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  const int openError = errno;
  ::close(dir);
  if (fd < 0) {
    SetMessage(message, "cannot open " + folder + "/" + name + ": " + std::strerror(openError));
    return Outcome::kFailed;
  }
  const auto end = std::chrono::steady_clock::now() + wait;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EINTR)
      continue;
    if (error != EWOULDBLOCK) {
      ::close(fd);
      SetMessage(message, "cannot lock " + folder + "/" + name + ": " + std::strerror(error));
      return Outcome::kFailed;
    }
    if (std::chrono::steady_clock::now() >= end) {
      ::close(fd);
      return Outcome::kTimedOut;
    }
    std::this_thread::sleep_for(kPollGap);
  }
  fd_ = fd;
  return Outcome::kAcquired;
}

}  // namespace ds
