#pragma once

#include <string>

#include "platform/sim/sim_test_drive.h"

// Test helpers in the shape older tests use: an IDENTIFY sector from its texts (S.M.A.R.T.
// supported, neither the security feature set nor TRIM), and a drive folder around it.
namespace ds::testing {

inline Sector IdentifySector(const std::string& model, const std::string& serial,
                             const std::string& firmware, std::uint64_t sectors) {
  return IdentifySector(TestDriveSpec{.model = model,
                                      .serial = serial,
                                      .firmware = firmware,
                                      .sectors = sectors,
                                      .trim = false,
                                      .security = false});
}

inline void MakeAtaDriveFolder(const std::string& folder, const Sector& identify,
                               const std::string& description) {
  SimulatedDiskImage image = MakeImage({});
  image.identify = identify;
  WriteDriveFolder(folder, image, description);
}

}  // namespace ds::testing
