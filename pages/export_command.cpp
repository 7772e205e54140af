#include "pages/export_command.h"

#include "drive/command_machine.h"
#include "pages/health_export_command.h"
#include "pages/identify_table.h"
#include "pages/smart_page.h"
#include "store/description_tables.h"

namespace ds {
namespace {

constexpr const char* kUsage =
    "usage: drivesentinel export smart|identify|health --drive N [--demo | --sim DIR] "
    "[--home DIR] -o FILE\n";

struct ExportRequest {
  std::string what;
  int driveIndex = -1;
  std::string output;
};

bool ParseRequest(const std::vector<std::string>& args, ExportRequest* request,
                  std::string* error) {
  if (args.empty()) {
    *error = "say what to export";
    return false;
  }
  request->what = args[0];
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if ((arg == "-o" || arg == "--output") && hasValue) {
      request->output = args[++i];
    } else if (arg == "--drive" && hasValue) {
      const std::string& value = args[++i];
      if (value.empty() || value.size() > 2 ||
          value.find_first_not_of("0123456789") != std::string::npos) {
        *error = "--drive needs a disk index (0-25), not \"" + value + "\"";
        return false;
      }
      request->driveIndex = std::stoi(value);
    } else {
      *error = "unknown or incomplete argument \"" + arg + "\"";
      return false;
    }
  }
  if (request->driveIndex < 0 || request->output.empty()) {
    *error = "--drive and -o are required";
    return false;
  }
  return true;
}

}  // namespace

int RunExportCommand(const std::vector<std::string>& args, const std::string& home,
                     std::ostream& out, std::ostream& err) {
  if (!args.empty() && args[0] == "health") {
    return RunHealthExportCommand(args, home, LocalToday, out, err);
  }
  std::vector<std::string> words = args;
  MachineChoice choice;
  choice.home = home;
  ExportRequest request;
  std::string error;
  if (!TakeMachineOptions(&words, &choice, &error) || !ParseRequest(words, &request, &error) ||
      (request.what != "smart" && request.what != "identify")) {
    if (error.empty())
      error = "cannot export \"" + request.what + "\"";
    err << "drivesentinel export: " << error << "\n" << kUsage;
    return 2;
  }

  const MessageSink messages = [&err](std::string_view text) {
    err << "drivesentinel export: " << text << "\n";
  };
  CommandMachine machine;
  if (!OpenCommandMachine(choice, messages, &machine, &error)) {
    err << "drivesentinel export: " << error << "\n";
    return 3;
  }
  if (request.driveIndex >= machine.list.driveCount) {
    err << "drivesentinel export: there is no disk " << request.driveIndex << " (found "
        << machine.list.driveCount << ")\n";
    return 1;
  }
  const std::string accessProblem = machine.disks->AccessProblem();
  if (!accessProblem.empty()) {
    err << "drivesentinel export: " << accessProblem << "\n";
    return 3;
  }
  const DriveRecord& drive = machine.list.drives[static_cast<std::size_t>(request.driveIndex)];

  bool written = false;
  std::size_t rows = 0;
  if (request.what == "smart") {
    SmartSnapshot snapshot;
    if (ReadDriveForCommand(machine, drive, choice.home, messages, &snapshot) != 1)
      return 1;
    rows = snapshot.attributes.size();
    written = WriteSmartWorkbook(snapshot.attributes, request.output, &error);
  } else {
    IdentifyTableInput identify;
    LoadIdentifyTable(identify.identifyDesc, choice.home);
    identify.identifyWords = drive.identifyWords;
    identify.model = drive.model;
    identify.serial = drive.serial;
    identify.firmware = drive.firmware;
    const std::vector<IdentifyLine> lines = IdentifyTableLines(identify);
    rows = lines.size();
    written = WriteIdentifyWorkbook(lines, request.output, &error);
  }
  if (!written) {
    err << "drivesentinel export: " << error << "\n";
    return 1;
  }
  out << "Wrote " << request.output << ": " << rows << " row(s).\n";
  return 0;
}

}  // namespace ds
