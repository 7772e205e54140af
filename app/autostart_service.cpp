#include "app/autostart_service.h"

#include <filesystem>

#include "platform/file_system.h"

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

bool InstallAutostartService(const std::string& programPath, const std::string& unitFolder,
                             bool systemdRunning, ProcessLauncher& launcher, std::string* message) {
  if (!systemdRunning) {
    *message = "systemd is not running here, so the program is not started at system startup";
    return false;
  }
  std::string unit;
  if (!ServiceUnitText(programPath, &unit)) {
    *message = "the program path cannot be used in a service file";
    return false;
  }
  std::string error;
  if (!ReplaceFileAtomically(unitFolder + kServiceName, unit, FileAccess::kShared, &error)) {
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
