#pragma once

#include <string>

// Where the program keeps what it writes when no --home is given. A packaged program lies in
// a read-only folder and its service is started with "/autostart" as the whole command line,
// so the home comes from the environment, the administrator's configuration file under /etc
// or the ini file beside the program; a root shell typing "drivesentinel --open" then
// reaches the same home as the service.
namespace ds {

inline constexpr const char* kHomeEnvironmentVariable = "DRIVESENTINEL_HOME";

// The home folder, first found of: the --home folder (`homeOption`, taken as given), a
// non-empty DRIVESENTINEL_HOME (`environment`, nullptr when unset), a non-empty Home_Folder
// of the configuration file (`configHome`), then of the ini file (`iniHome`), the install
// folder. `home` always ends in "/". The environment and file values must be absolute folders
// without control characters: the service starts in "/", so a relative one would depend on where
// the program was started.
bool ChooseHomeFolder(const std::string& homeOption, const char* environment,
                      const std::string& configHome, const std::string& iniHome,
                      const std::string& installFolder, std::string* home, std::string* error);

}  // namespace ds
