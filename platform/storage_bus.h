#pragma once

// How the machine's disks are numbered and which bus each one hangs on, in the numbering
// the storage stack reports and the pages and the ATA/SATA filter use.
namespace ds {

// Storage bus types in the numbering the pages and the ATA/SATA filter use.
inline constexpr int kBusTypeUnknown = 0;
inline constexpr int kBusTypeScsi = 1;
inline constexpr int kBusTypeAta = 3;
inline constexpr int kBusTypeUsb = 7;
inline constexpr int kBusTypeSata = 11;
inline constexpr int kBusTypeSd = 12;
inline constexpr int kBusTypeMmc = 13;
inline constexpr int kBusTypeVirtual = 14;
inline constexpr int kBusTypeNvme = 17;
inline constexpr int kBusTypeMaxReserved = 18;

// Highest number of physical drives the enumeration looks at (drive numbers 0..25).
inline constexpr int kMaxPhysicalDrives = 26;

}  // namespace ds
