#include "pages/health_export_command.h"

#include <memory>

#include "drive/command_machine.h"
#include "pages/health_export.h"
#include "store/history_folder.h"

namespace ds {
namespace {

constexpr const char* kUsage =
    "usage: drivesentinel export health --drive N [--demo | --sim DIR] [--home DIR] -o FILE\n";

struct ExportOptions {
  enum class Source { kReal, kDemo, kSim } source = Source::kReal;
  std::string simFolder;
  std::string home;
  std::string output;
  int driveIndex = -1;
};

bool ParseOptions(const std::vector<std::string>& args, ExportOptions* options,
                  std::string* error) {
  if (args.empty() || args[0] != "health") {
    *error = "the only export is \"health\"";
    return false;
  }
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--demo") {
      options->source = ExportOptions::Source::kDemo;
    } else if (arg == "--sim" && hasValue) {
      options->source = ExportOptions::Source::kSim;
      options->simFolder = args[++i];
    } else if (arg == "--home" && hasValue) {
      options->home = args[++i];
      if (options->home.back() != '/')
        options->home += '/';
    } else if ((arg == "-o" || arg == "--output") && hasValue) {
      options->output = args[++i];
    } else if (arg == "--drive" && hasValue) {
      const std::string& value = args[++i];
      if (value.empty() || value.size() > 2 ||
          value.find_first_not_of("0123456789") != std::string::npos) {
        *error = "--drive needs a disk index (0-25), not \"" + value + "\"";
        return false;
      }
      options->driveIndex = std::stoi(value);
    } else {
      *error = "unknown or incomplete argument \"" + arg + "\"";
      return false;
    }
  }
  if (options->driveIndex < 0 || options->output.empty()) {
    *error = "--drive and -o are required";
    return false;
  }
  return true;
}

}  // namespace

int RunHealthExportCommand(const std::vector<std::string>& args, const std::string& home,
                           const LocalDateSource& today, std::ostream& out, std::ostream& err) {
  ExportOptions options;
  options.home = home;
  std::string error;
  if (!ParseOptions(args, &options, &error)) {
    err << "drivesentinel export: " << error << "\n" << kUsage;
    return 2;
  }

  const MessageSink messages = [&err](std::string_view text) {
    err << "drivesentinel export: " << text << "\n";
  };
  MachineChoice choice;
  choice.home = options.home;
  choice.simFolder = options.simFolder;
  choice.source = options.source == ExportOptions::Source::kReal   ? MachineChoice::Source::kReal
                  : options.source == ExportOptions::Source::kDemo ? MachineChoice::Source::kDemo
                                                                   : MachineChoice::Source::kSim;
  CommandMachine machine;
  if (!OpenCommandMachine(choice, messages, &machine, &error)) {
    err << "drivesentinel export: " << error << "\n";
    return 3;
  }
  const DriveList& list = machine.list;
  if (options.driveIndex >= list.driveCount) {
    err << "drivesentinel export: there is no disk " << options.driveIndex << " (found "
        << list.driveCount << ")\n";
    return 1;
  }
  const std::string accessProblem = machine.disks->AccessProblem();
  if (!accessProblem.empty()) {
    err << "drivesentinel export: " << accessProblem << "\n";
    return 3;
  }

  const DriveRecord& drive = list.drives[static_cast<std::size_t>(options.driveIndex)];
  SmartSnapshot snapshot;
  if (ReadDriveForCommand(machine, drive, options.home, messages, &snapshot) != 1)
    return 1;
  if (snapshot.modelSeries != 0) {
    err << "drivesentinel export: Unsupported!\n";
    return 1;
  }

  // The export reads the history; it never starts one.
  const std::string folder = HistoryFolder(options.home, drive.model, drive.serial);
  HistoryStart start;
  const bool started = ReadHistoryStart(folder, &start);
  if (!started) {
    err << "drivesentinel export: no history has been recorded for this disk yet\n";
    start = HistoryStart{};  // only the header row
  }
  const CivilDate date = today();
  const std::size_t rows =
      started ? HealthExportRows(folder, start, date, snapshot.peCycleLimit).size() : 0;
  if (!ExportHealthWorkbook(folder, start, date, snapshot.peCycleLimit, options.output, &error)) {
    err << "drivesentinel export: " << error << "\n";
    return 1;
  }
  out << "Wrote " << options.output << ": " << rows << " recorded day(s).\n";
  return 0;
}

}  // namespace ds
