#include "app/autostart_service.h"

#include <filesystem>
#include <sstream>
#include <string_view>

#include "platform/file_system.h"
#include "text/text_helpers.h"

namespace ds {

bool ServiceUnitText(const std::string& programPath, std::string* unit) {
  if (programPath.empty() || programPath.front() != '/')
    return false;
  // One double-quoted argument: "\" and '"' escaped, "%" and "$" doubled so that systemd
  // expands neither specifiers nor variables; control characters could start new lines.
  std::string quoted = "\"";
  for (char c : programPath) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F)
      return false;
    if (c == '\\' || c == '"')
      quoted += '\\';
    if (c == '%')
      quoted += '%';
    if (c == '$')
      quoted += '$';
    quoted += c;
  }
  quoted += '"';
  *unit =
      "[Unit]\n"
      "Description=Norvik DriveSentinel SSD health monitor\n"
      "After=local-fs.target network.target\n"
      "\n"
      "[Service]\n"
      "Type=simple\n"
      "User=root\n"
      "ExecStart=" +
      quoted +
      " /autostart\n"
      "Restart=on-failure\n"
      "RestartSec=10\n"
      "\n"
      "[Install]\n"
      "WantedBy=multi-user.target\n";
  return true;
}

bool SystemdRunning() {
  std::error_code error;
  return std::filesystem::is_directory("/run/systemd/system", error);
}

bool UnitStartsProgram(const std::string& unitText, const std::string& programPath) {
  std::istringstream lines(unitText);
  std::string line;
  while (std::getline(lines, line)) {
    std::string_view value = TrimBoth(line);
    if (value.substr(0, 10) != "ExecStart=")
      continue;
    value = TrimBoth(value.substr(10));
    const bool quoted = !value.empty() && value.front() == '"';
    std::string program;
    for (std::size_t i = quoted ? 1 : 0; i < value.size(); ++i) {
      const char c = value[i];
      if (quoted && c == '"')
        break;
      if (!quoted && IsBlank(c))
        break;
      program += quoted && c == '\\' && i + 1 < value.size() ? value[++i] : c;
    }
    return program == programPath;
  }
  return false;
}

bool InstallAutostartService(const std::string& programPath, const ServiceUnitFolders& folders,
                             bool systemdRunning, ProcessLauncher& launcher, std::string* message) {
  if (!systemdRunning) {
    *message = "systemd is not running here, so the program is not started at system startup";
    return false;
  }
  std::string packaged;
  std::string error;
  if (ReadWholeFile(folders.packaged + kServiceName, 1 << 16, &packaged, &error) &&
      UnitStartsProgram(packaged, programPath)) {
    // The package's unit is hardened and keeps the home folder the package made.
    if (launcher.Run({"systemctl", "enable", kServiceName}) != 0) {
      *message = "systemctl could not enable " + std::string(kServiceName);
      return false;
    }
    *message = "the packaged " + std::string(kServiceName) +
               " is enabled: the program starts at system startup";
    if (FileExists(folders.local + kServiceName)) {
      *message +=
          "; " + folders.local + kServiceName + " takes its place until that file is removed";
    }
    return true;
  }
  std::string unit;
  if (!ServiceUnitText(programPath, &unit)) {
    *message = "the program path cannot be used in a service file";
    return false;
  }
  if (!ReplaceFileAtomically(folders.local + kServiceName, unit, FileAccess::kShared, &error)) {
    *message = "cannot write the service file: " + error;
    return false;
  }
  if (launcher.Run({"systemctl", "daemon-reload"}) != 0 ||
      launcher.Run({"systemctl", "enable", kServiceName}) != 0) {
    *message = "systemctl could not enable " + std::string(kServiceName);
    return false;
  }
  *message = std::string(kServiceName) + " is enabled: the program starts at system startup";
  return true;
}

}  // namespace ds
