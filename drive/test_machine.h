#pragma once

#include <string>

#include "platform/sim/sim_test_drive.h"

// Older helpers: an IDENTIFY sector from its texts (S.M.A.R.T., no security, no TRIM), its folder.
namespace ds::testing {

inline Sector IdentifySector(const std::string& model, const std::string& serial,
                             const std::string& firmware, std::uint64_t sectors) {
  return IdentifySector(TestDriveSpec{model, serial, firmware, sectors, true, false, false});
}

inline void MakeAtaDriveFolder(const std::string& folder, const Sector& identify,
                               const std::string& description) {
  SimulatedDiskImage image = MakeImage({});
  image.identify = identify;
  WriteDriveFolder(folder, image, description);
}

}  // namespace ds::testing
