#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "text/text_helpers.h"

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

}  // namespace

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string* content,
                   std::string* message) {
  content->clear();
  // O_NONBLOCK: a FIFO put in place of a file must not hang the reader.
  ScopedFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) {
    SetMessage(message, ErrnoText("cannot open", path));
    return false;
  }
  struct stat info;
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    SetMessage(message, "not a regular file: " + path);
    return false;
  }
  if (static_cast<std::size_t>(info.st_size) > maxBytes) {
    SetMessage(message, "file too large: " + path);
    return false;
  }
  content->reserve(static_cast<std::size_t>(info.st_size));
  char buffer[16384];
  for (;;) {
    ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0) {
      SetMessage(message, ErrnoText("cannot read", path));
      content->clear();
      return false;
    }
    if (got == 0)
      break;
    if (content->size() + static_cast<std::size_t>(got) > maxBytes) {  // grew while reading
      SetMessage(message, "file too large: " + path);
      content->clear();
      return false;
    }
    content->append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view content, FileAccess access,
                           std::string* message, FileDurability durability) {
  OutputOptions options;
  options.access = access;
  options.durability = durability;
  return ReplaceFileAtomically(path, content, options, message);
}

IniFileReader ReadKeyValueFile(const std::string& path) {
  std::string content;
  std::string message;
  if (!ReadWholeFile(path, kMaxTextFileBytes, &content, &message))
    return IniFileReader();
  return IniFileReader::FromText(content);
}

bool OnlyRootCanChange(const std::string& path, std::string* why) {
  if (path.empty() || path.front() != '/' || path.back() == '/') {
    SetMessage(why, path + " is no absolute path of a file");
    return false;
  }
  std::vector<std::string> parts = {"/"};  // each folder from the root down, then the file
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    parts.push_back(path.substr(0, slash));
  }
  parts.push_back(path);
  for (const std::string& part : parts) {
    const bool file = &part == &parts.back();
    struct stat status {};
    if (::lstat(part.c_str(), &status) != 0) {
      SetMessage(why, ErrnoText("cannot check", part));
      return false;
    }
    const bool othersWrite = (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    const char* problem = S_ISLNK(status.st_mode)             ? "is a symbolic link"
                          : status.st_uid != 0                ? "is not owned by root"
                          : file && !S_ISREG(status.st_mode)  ? "is not a regular file"
                          : file && othersWrite               ? "is writable by group or others"
                          : !file && !S_ISDIR(status.st_mode) ? "is not a folder"
                          : !file && othersWrite && (status.st_mode & S_ISVTX) == 0
                              ? "is a folder that group or others may write"
                              : nullptr;
    if (problem != nullptr) {
      SetMessage(why, part + " " + problem);
      return false;
    }
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
