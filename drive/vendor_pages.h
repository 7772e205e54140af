#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/ata_device.h"

// The vendor command interface of the maker's controllers (S.M.A.R.T. data carrying the "SM"
// signature). It is reached with ordinary sector commands at fixed key addresses: five key
// reads unlock it, a write of a selector block to key 0x55AA picks a vendor page and a read
// of the same key returns it. The selector write lands on a user sector of a disk that does
// not speak the protocol, so the sequence is only ever sent to disks VendorReadAllowed passes.
namespace ds {

// Reads the vendor page into `out` (n × 512 bytes, n = 1 or 2) through the seven-command
// key sequence, holding the disk exclusively so no other command interleaves. Any failure
// ends the sequence and sets `message`: "Failed to send read command [0x00AA]. <transport
// message>." and so on by key, "INVALID_HANDLE_VALUE #N" when the disk cannot be opened.
bool ReadVendorPages(AtaDeviceOpener& opener, int driveNumber, int n,
                     std::vector<std::uint8_t>* out, std::string* message);

// What decides whether and how the vendor page of the selected disk is read.
struct VendorReadTarget {
  int driveNumber = -1;
  std::string model;             // as IDENTIFY gives it
  bool smartSignature = false;   // "SM" in the S.M.A.R.T. data
  bool isOtherSm = false;        // a signature other than "SM2246"
  std::string baseBoardProduct;  // the motherboard product
  bool behindUsbBridge = false;  // the key sequence is never sent through a bridge
};

// True only for the maker's own disks by model ("QRA", "QRB" or "QRC" at the start; the
// internal mode's pass for every disk does not count here) that carry the controller
// signature, on a motherboard whose product does not contain "Aptio", and not behind a USB
// bridge.
bool VendorReadAllowed(const VendorReadTarget& target);

// The 32-bit figure of a vendor page: bytes 412-415 least significant first for an
// "other SM" controller (one sector), else bytes 604-607 most significant first (two
// sectors). 0 when the page is too short.
std::uint32_t VendorFigureFromPages(std::span<const std::uint8_t> pages, bool isOtherSm);

// The figure of the selected disk, or 0: when the read is not allowed (`message` empty) or
// when it failed (`message` says why).
std::uint32_t ReadVendorFigure(AtaDeviceOpener& opener, const VendorReadTarget& target,
                               std::string* message);

}  // namespace ds
