#include "platform/atomic_output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "text/text_helpers.h"

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

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Syncs a folder so a rename inside it survives a power cut.
void SyncFolder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  ::fsync(fd);
  ::close(fd);
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode))
    return "a folder";
  if (S_ISCHR(mode) || S_ISBLK(mode))
    return "a device";
  if (S_ISFIFO(mode))
    return "a FIFO";
  if (S_ISSOCK(mode))
    return "a socket";
  return "not a regular file";
}

// What replacing an existing file must keep.
struct Keep {
  bool exists = false;
  uid_t uid = 0;
  gid_t gid = 0;
  mode_t mode = 0;
};

// Applies the rules of a user-named path: `*target` becomes the regular file to replace,
// `*keep` its owner and mode. False with `message` when the path is refused.
bool ResolveUserTarget(std::string* target, Keep* keep, std::string* message) {
  struct stat link;
  if (::lstat(target->c_str(), &link) != 0) {
    if (errno == ENOENT)
      return true;  // a new file
    SetMessage(message, ErrnoText("cannot inspect", *target, errno));
    return false;
  }
  if (S_ISLNK(link.st_mode)) {
    struct stat folder;
    const std::string parent = FolderOf(*target);
    if (::stat(parent.c_str(), &folder) != 0) {
      SetMessage(message, ErrnoText("cannot inspect", parent, errno));
      return false;
    }
    const bool stickyWorldWritable = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    if (link.st_uid != ::geteuid() || stickyWorldWritable) {
      SetMessage(message, "refusing to write through the symbolic link " + *target +
                              (stickyWorldWritable ? " in a shared sticky folder"
                                                   : " that belongs to another user"));
      return false;
    }
    char resolved[PATH_MAX];
    if (::realpath(target->c_str(), resolved) == nullptr) {
      SetMessage(message, ErrnoText("cannot follow", *target, errno));
      return false;
    }
    *target = resolved;
    if (::lstat(target->c_str(), &link) != 0) {
      if (errno == ENOENT)
        return true;  // a link to a file not yet made
      SetMessage(message, ErrnoText("cannot inspect", *target, errno));
      return false;
    }
  }
  if (!S_ISREG(link.st_mode)) {
    SetMessage(message, "refusing to replace " + *target + ": it is " + KindOf(link.st_mode));
    return false;
  }
  keep->exists = true;
  keep->uid = link.st_uid;
  keep->gid = link.st_gid;
  keep->mode = link.st_mode & 07777;
  return true;
}

}  // namespace

AtomicOutputFile::~AtomicOutputFile() {
  Discard();
}

bool AtomicOutputFile::Open(const std::string& target, const OutputOptions& options,
                            std::string* message) {
  Discard();
  options_ = options;
  target_ = target;
  Keep keep;
  if (options.userPath && !ResolveUserTarget(&target_, &keep, message))
    return false;
  const mode_t mode = options.access == FileAccess::kOwnerOnly ? 0600 : 0644;
  temporary_ = TemporaryNameBeside(target_);
  fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
  if (fd_ < 0) {
    SetMessage(message, ErrnoText("cannot create", temporary_, errno));
    temporary_.clear();
    return false;
  }
  if (keep.exists) {
    // The replaced file keeps its owner and mode (an owner-only file stays owner-only).
    if (::fchown(fd_, keep.uid, keep.gid) != 0 && ::geteuid() == 0) {
      SetMessage(message, ErrnoText("cannot keep the owner of", target_, errno));
      Discard();
      return false;
    }
    ::fchmod(fd_, keep.mode);
  } else {
    // The umask may have removed bits; an owner-only file must never be wider than 0600.
    ::fchmod(fd_, mode);
  }
  failedErrno_ = 0;
  onDisk_ = 0;
  writeBack_ = 0;
  buffer_.clear();
  buffer_.reserve(kBufferBytes);
  return true;
}

void AtomicOutputFile::Write(const void* data, std::size_t size) {
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
  if (failedErrno_ == 0 && options_.durability == FileDurability::kFlushed &&
      onDisk_ - writeBack_ >= kWriteBackBytes) {
    // Only a hint: a failure here shows up again at the final fsync.
    ::sync_file_range(fd_, static_cast<off64_t>(writeBack_),
                      static_cast<off64_t>(onDisk_ - writeBack_), SYNC_FILE_RANGE_WRITE);
    writeBack_ = onDisk_;
  }
  return failedErrno_ == 0;
}

bool AtomicOutputFile::Commit(std::string* message) {
  if (fd_ < 0) {
    SetMessage(message, "no file is open");
    return false;
  }
  if (!Flush()) {
    SetMessage(message, ErrnoText("cannot write", temporary_, failedErrno_));
    Discard();
    return false;
  }
  const int fd = fd_;
  fd_ = -1;
  const bool flushed = options_.durability == FileDurability::kUnflushed || ::fsync(fd) == 0;
  if (!flushed || ::close(fd) != 0) {
    if (flushed == false)
      ::close(fd);
    SetMessage(message, ErrnoText("cannot flush", temporary_, errno));
    Discard();
    return false;
  }
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    SetMessage(message, ErrnoText("cannot replace", target_, errno));
    Discard();
    return false;
  }
  temporary_.clear();
  if (options_.durability == FileDurability::kFlushed)
    SyncFolder(FolderOf(target_));
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

bool ReplaceFileAtomically(const std::string& path, std::string_view content,
                           const OutputOptions& options, std::string* message) {
  AtomicOutputFile file;
  if (!file.Open(path, options, message))
    return false;
  file.Write(content.data(), content.size());
  return file.Commit(message);
}

}  // namespace ds
