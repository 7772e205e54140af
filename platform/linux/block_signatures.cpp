#include "platform/linux/block_signatures.h"

#include <blkid/blkid.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace ds {

namespace {

struct ProbeDeleter {
  void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};
using Probe = std::unique_ptr<blkid_struct_probe, ProbeDeleter>;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

bool ProbeBlockSignatures(const std::string& path, std::vector<std::string>* signatures,
                          std::string* message) {
  signatures->clear();
  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    *message = "cannot open " + path + " to look for signatures: " + std::strerror(errno);
    return false;
  }
  Probe probe(blkid_new_probe());
  if (!probe || blkid_probe_set_device(probe.get(), fd.get(), 0, 0) != 0) {
    *message = "cannot look for signatures on " + path;
    return false;
  }
  blkid_probe_enable_superblocks(probe.get(), 1);
  blkid_probe_set_superblocks_flags(probe.get(),
                                    BLKID_SUBLKS_TYPE | BLKID_SUBLKS_MAGIC | BLKID_SUBLKS_BADCSUM);
  blkid_probe_enable_partitions(probe.get(), 1);
  blkid_probe_set_partitions_flags(probe.get(), BLKID_PARTS_MAGIC);
  int result = 0;
  // Each round reports one more signature, superblocks first, then partition tables.
  while ((result = blkid_do_probe(probe.get())) == 0) {
    const char* type = nullptr;
    if (blkid_probe_lookup_value(probe.get(), "TYPE", &type, nullptr) == 0 && type) {
      signatures->push_back(type);
    } else if (blkid_probe_lookup_value(probe.get(), "PTTYPE", &type, nullptr) == 0 && type) {
      signatures->push_back(std::string("partition table ") + type);
    } else {
      signatures->push_back("unnamed signature");
    }
  }
  if (result < 0) {
    *message = "looking for signatures on " + path + " failed";
    return false;
  }
  return true;
}

}  // namespace ds
