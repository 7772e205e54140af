#pragma once

#include <string>
#include <vector>

// Signatures that tell a block device (or an image file) holds something: file systems,
// partition tables, LVM and RAID members, swap, as libblkid recognises them.
namespace ds {

// Every signature libblkid finds on `path`, in the order found: superblock types as
// libblkid names them ("ext4", "swap", "LVM2_member", "linux_raid_member") and partition
// tables as "partition table dos" / "partition table gpt". Signatures with a bad checksum
// count too. False with `message` set when the device cannot be opened or probed.
bool ProbeBlockSignatures(const std::string& path, std::vector<std::string>* signatures,
                          std::string* message);

}  // namespace ds
