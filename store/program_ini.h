#pragma once

#include <string>

// The program's ini file "Norvik_DriveSentinel.ini" in the program folder: a key=value
// file without sections. Keys: End_User_License_Agreement (licence text, relative to the
// program folder), Loading_Time (splash seconds), PE_Cycle_Limit, Maker_Web_Site (the
// address the logo button opens), Home_Folder (where an installed program keeps what it
// writes when no --home is given) and Metrics_Listen (ADDR:PORT of the Prometheus endpoint
// when no --metrics-listen is given: the service's command line is "/autostart" alone).
namespace ds {

inline constexpr const char* kProgramIniFile = "Norvik_DriveSentinel.ini";
inline constexpr const char* kDefaultMakerAddress = "https://www.norvik.example/";

struct ProgramIni {
  int loadingTime = 1;
  int peCycleLimit = 3000;
  std::string eulaFile;
  std::string makerAddress = kDefaultMakerAddress;
  std::string homeFolder;     // "" when the key is absent or empty
  std::string metricsListen;  // "" when the key is absent or empty: no metrics
};

// Reads home + kProgramIniFile. A missing file or key keeps the default; a numeric key
// that is present and not empty takes its leading-integer value (letters only give 0).
ProgramIni ReadProgramIni(const std::string& home);

}  // namespace ds
