#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "text/text_helpers.h"

namespace ds {

InstanceLock::~InstanceLock() {
  if (fd_ >= 0)
    ::close(fd_);
}

InstanceLock::Outcome InstanceLock::Acquire(const std::string& path, std::string* message) {
  if (fd_ >= 0)
    return Outcome::kAcquired;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    SetMessage(message, "cannot open " + path + ": " + std::strerror(errno));
    return Outcome::kFailed;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK)
      return Outcome::kHeldElsewhere;
    SetMessage(message, "cannot lock " + path + ": " + std::strerror(error));
    return Outcome::kFailed;
  }
  fd_ = fd;
  return Outcome::kAcquired;
}

}  // namespace ds
