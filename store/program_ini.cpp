#include "store/program_ini.h"

#include "platform/file_system.h"
#include "text/ini_file_reader.h"
#include "text/leading_integer.h"

namespace ds {

ProgramIni ReadProgramIni(const std::string& home) {
  ProgramIni ini;
  std::string path = home + kProgramIniFile;
  if (!FileExists(path))
    return ini;
  IniFileReader reader = ReadKeyValueFile(path);
  ini.eulaFile = reader.lookup("End_User_License_Agreement");
  AssignIfNotEmpty(reader.lookup("Loading_Time"), &ini.loadingTime);
  AssignIfNotEmpty(reader.lookup("PE_Cycle_Limit"), &ini.peCycleLimit);
  std::string address = reader.lookup("Maker_Web_Site");
  if (!address.empty())
    ini.makerAddress = address;
  ini.homeFolder = reader.lookup("Home_Folder");
  ini.metricsListen = std::string(TrimBoth(reader.lookup("Metrics_Listen")));
  return ini;
}

}  // namespace ds
