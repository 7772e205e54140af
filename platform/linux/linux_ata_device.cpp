#include "platform/linux/linux_ata_device.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/linux/ata_pass_through_cdb.h"
#include "platform/linux/ata_sense.h"
#include "platform/linux/drive_cmd_request.h"

namespace ds {

namespace {

constexpr std::size_t kSenseBufferBytes = 64;

AtaResult Failure(int osError, std::string text) {
  AtaResult result;
  result.osError = osError;
  result.osErrorText = std::move(text);
  return result;
}

// Device nodes only: a path from the disk listing, never anything outside /dev.
bool IsDevicePath(const std::string& path) {
  return path.rfind("/dev/", 0) == 0 && path.find("/..") == std::string::npos &&
         path.find('\0') == std::string::npos;
}

}  // namespace

std::unique_ptr<LinuxAtaDevice> LinuxAtaDevice::Open(const std::string& devicePath,
                                                     const AtaOpenMode& mode,
                                                     std::shared_ptr<std::recursive_mutex> gate,
                                                     std::string* message) {
  if (!IsDevicePath(devicePath)) {
    *message = "not a device path: " + devicePath;
    return nullptr;
  }
  int flags = (mode.readWrite ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC;
  if (mode.noBuffering)
    flags |= O_DIRECT;
  if (mode.writeThrough)
    flags |= O_DSYNC;
  if (mode.exclusive)
    flags |= O_EXCL;  // on a block device: fails while mounted or claimed by another
  const int fd = ::open(devicePath.c_str(), flags);
  if (fd < 0) {
    *message = DescribeOsError(errno, "open", devicePath);
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !(S_ISBLK(info.st_mode) || S_ISCHR(info.st_mode))) {
    ::close(fd);
    *message = "not a device: " + devicePath;
    return nullptr;
  }
  if (!gate)
    gate = std::make_shared<std::recursive_mutex>();
  return std::unique_ptr<LinuxAtaDevice>(new LinuxAtaDevice(fd, devicePath, std::move(gate)));
}

LinuxAtaDevice::LinuxAtaDevice(int fd, std::string path, std::shared_ptr<std::recursive_mutex> gate)
    : fd_(fd), path_(std::move(path)), gate_(std::move(gate)) {}

LinuxAtaDevice::~LinuxAtaDevice() {
  ::close(fd_);
}

std::unique_lock<std::recursive_mutex> LinuxAtaDevice::HoldExclusive() {
  return std::unique_lock<std::recursive_mutex>(*gate_);
}

bool LinuxAtaDevice::FlushCaches(std::string* message) {
  std::lock_guard<std::recursive_mutex> serialised(*gate_);
  if (::fsync(fd_) != 0) {
    *message = DescribeOsError(errno, "fsync", path_);
    return false;
  }
  if (::ioctl(fd_, BLKFLSBUF, 0) != 0) {
    *message = DescribeOsError(errno, "BLKFLSBUF", path_);
    return false;
  }
  return true;
}

AtaResult LinuxAtaDevice::Execute(const AtaCommand& command) {
  if (!bridge_)
    return Send(command, SatCdbLength::k16);
  // The disk's gate before the bridge's lock, as HoldExclusive() callers take them.
  std::lock_guard<std::recursive_mutex> serialised(*gate_);
  return bridge_->Execute(
      command, [this](const AtaCommand& c, SatCdbLength length) { return Send(c, length); });
}

AtaResult LinuxAtaDevice::Send(const AtaCommand& command, SatCdbLength length) {
  AtaPassThroughCdb cdb{};
  AtaPassThrough12Cdb cdb12{};
  std::string problem;
  const bool built = length == SatCdbLength::k12
                         ? BuildAtaPassThrough12Cdb(command, &cdb12, &problem)
                         : BuildAtaPassThroughCdb(command, &cdb, &problem);
  if (!built)
    return Failure(EINVAL, path_ + ": " + problem);
  std::uint8_t sense[kSenseBufferBytes] = {};
  sg_io_hdr_t request{};
  request.interface_id = 'S';
  request.cmd_len =
      static_cast<unsigned char>(length == SatCdbLength::k12 ? cdb12.size() : cdb.size());
  request.cmdp = length == SatCdbLength::k12 ? cdb12.data() : cdb.data();
  request.mx_sb_len = sizeof sense;
  request.sbp = sense;
  request.dxfer_len = static_cast<unsigned int>(command.data.size());
  request.dxferp = command.data.empty() ? nullptr : command.data.data();
  request.dxfer_direction = IsDataIn(command.protocol)    ? SG_DXFER_FROM_DEV
                            : IsDataOut(command.protocol) ? SG_DXFER_TO_DEV
                                                          : SG_DXFER_NONE;
  request.timeout = static_cast<unsigned int>(
      command.timeoutMs > 0 ? command.timeoutMs : AtaCommand::kDefaultTimeoutMs);

  SgIoCompletion completion;
  {
    std::lock_guard<std::recursive_mutex> serialised(*gate_);
    completion.ioctlResult = ::ioctl(fd_, SG_IO, &request);
    completion.ioctlErrno = completion.ioctlResult < 0 ? errno : 0;
  }
  completion.scsiStatus = request.status;
  completion.hostStatus = request.host_status;
  completion.driverStatus = request.driver_status;
  completion.residual = request.resid;
  std::size_t senseBytes = request.sb_len_wr;
  if (senseBytes > sizeof sense)
    senseBytes = sizeof sense;
  completion.sense = std::span<const std::uint8_t>(sense, senseBytes);
  AtaCommand timed = command;
  timed.timeoutMs = static_cast<int>(request.timeout);
  return InterpretSgIoCompletion(timed, completion, path_);
}

AtaResult LinuxAtaDevice::SmartDriverCommand(const TaskFile& registers,
                                             std::span<std::uint8_t> dataIn) {
  if (bridge_)
    return SmartDriverCommandThroughBridge(*this, registers, dataIn);
  DriveCmdHeader header{};
  std::string problem;
  if (!BuildDriveCmdHeader(registers, dataIn.size(), &header, &problem)) {
    return Failure(EINVAL, path_ + ": " + problem);
  }
  // The ioctl returns the data right after its 4-byte header.
  std::vector<std::uint8_t> buffer(header.size() + dataIn.size());
  std::memcpy(buffer.data(), header.data(), header.size());
  int result = 0;
  int error = 0;
  {
    std::lock_guard<std::recursive_mutex> serialised(*gate_);
    result = ::ioctl(fd_, HDIO_DRIVE_CMD, buffer.data());
    error = result < 0 ? errno : 0;
  }
  if (result < 0) {
    return Failure(error, DescribeOsError(error, "HDIO_DRIVE_CMD", path_));
  }
  if (!dataIn.empty())
    std::memcpy(dataIn.data(), buffer.data() + header.size(), dataIn.size());
  AtaResult done;
  done.transportOk = true;
  done.registers = registers;
  done.registers.features = 0;
  done.registers.command = kAtaStatusGood;
  done.transferred = dataIn.size();
  return done;
}

}  // namespace ds
