#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "drive/drive_record.h"
#include "pages/template_expander.h"
#include "platform/program_roots.h"

// The Disk Information page: one pre-built file per kept drive and volume, so the two
// selection lists of the page switch between them by plain navigation.
namespace ds {

// Space of one volume; false when it cannot be queried (the sizes then show as zero).
using VolumeSpaceQuery = std::function<bool(const std::string& mountPoint, std::uint64_t* freeBytes,
                                            std::uint64_t* totalBytes)>;

// The drive's temperature from its S.M.A.R.T. data; false when the drive could not be
// read or has no temperature attribute.
using TemperatureQuery = std::function<bool(int driveNumber, int* celsius)>;

struct DiskInfoInput {
  std::vector<DriveRecord> drives;  // the kept drives, in list order
  int selectedDisk = 0;
  VolumeSpaceQuery volumeSpace;
  TemperatureQuery temperature;
};

// The feature table of a drive from its IDENTIFY words.
std::string DiskFeatureTable(const std::array<std::uint16_t, 256>& identifyWords);
// "SATA Gen3 (6.0Gb/s)" ... "Unknown" from word 76.
std::string SataGenerationText(std::uint16_t word76);
// "ACS-3" ... "ATA4", "Unknown" from word 80.
std::string AtaStandardText(std::uint16_t word80);
// The mount points of a drive's volumes (at most 26), split from its ", "-joined list.
std::vector<std::string> SplitDriveLetters(const std::string& driveLetters);

// The nineteen fields of the page for drive `drive` and volume `volume`.
PageFields DiskInfoFields(const DiskInfoInput& input, int drive, int volume,
                          const std::string& temperatureC, const std::string& temperatureF);

// Writes data/disk_info_<i>_<k>.html for every kept drive and volume into the home folder
// and returns the file of the selected drive's first volume; nothing (with `message`) when
// there is no drive, no template or a page could not be written.
[[nodiscard]] std::optional<std::string> BuildDiskInfoPage(const ProgramRoots& roots,
                                                           const DiskInfoInput& input,
                                                           std::string* message);

}  // namespace ds
