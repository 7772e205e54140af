#include "cli/export_command.h"

#include "cli/exit_codes.h"
#include "cli/machine_opener.h"
#include "cli/sub_commands.h"
#include "drive/drive_figures.h"
#include "drive/drive_report.h"
#include "pages/health_export.h"
#include "pages/identify_table.h"
#include "pages/smart_page.h"
#include "store/description_tables.h"
#include "store/history_folder.h"
#include "store/history_records.h"

namespace ds {
namespace {

struct ExportRequest {
  std::string what;
  std::optional<int> driveIndex;
  std::string output;
};

bool ParseRequest(std::vector<std::string> words, ExportRequest* request, std::string* error) {
  if (!TakeDriveOption(&words, &request->driveIndex, error))
    return false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if ((word == "-o" || word == "--output") && i + 1 < words.size()) {
      request->output = words[++i];
    } else if (request->what.empty() && word.rfind("-", 0) != 0) {
      request->what = word;
    } else {
      *error = "unknown or incomplete argument \"" + word + "\"";
      return false;
    }
  }
  if (request->what != "smart" && request->what != "identify" && request->what != "health") {
    *error =
        request->what.empty() ? "say what to export" : "cannot export \"" + request->what + "\"";
    return false;
  }
  if (!request->driveIndex || request->output.empty()) {
    *error = "--drive and -o are required";
    return false;
  }
  return true;
}

}  // namespace

int RunExportCommand(const std::vector<std::string>& args, const std::string& installFolder,
                     const LocalDateSource& today, std::ostream& out, std::ostream& err) {
  std::vector<std::string> words = args;
  MachineOptions options;
  ExportRequest request;
  std::string error;
  if (!TakeMachineOptions(&words, &options, &error) || !ParseRequest(words, &request, &error)) {
    err << "drivesentinel export: " << error << "\n" << CommandUsage("export");
    return kExitUsage;
  }
  ProgramRoots roots;
  if (!RootsFor(options, installFolder, &roots, &error)) {
    err << "drivesentinel export: " << error << "\n";
    return kExitFailure;
  }
  const MessageSink messages = [&err](std::string_view text) {
    err << "drivesentinel export: " << text << "\n";
  };
  OpenedMachine machine;
  if (!OpenMachine(options, roots, messages, true, &machine, &error)) {
    err << "drivesentinel export: " << error << "\n";
    return kExitNoRights;
  }
  const DriveList& list = machine.list;
  if (list.driveCount == 0) {
    err << "drivesentinel export: no ATA or SATA disk on this machine\n";
    return kExitNoDisk;
  }
  if (*request.driveIndex >= list.driveCount) {
    err << "drivesentinel export: there is no disk " << *request.driveIndex << " (found "
        << list.driveCount << ")\n";
    return kExitUsage;
  }
  if (const Status access = machine.drives->CheckAccess(); !access) {
    err << "drivesentinel export: " << access.message << "\n";
    return kExitNoRights;
  }
  const DriveRecord& drive = list.drives[static_cast<std::size_t>(*request.driveIndex)];
  OutputOptions target;
  target.userPath = true;

  bool written = false;
  std::string summary;
  if (request.what == "identify") {
    IdentifyTableInput identify;
    if (!LoadIdentifyTable(identify.identifyDesc, roots.install))
      err << "drivesentinel export: the IDENTIFY descriptions (data/Identify.dat) are missing\n";
    identify.identifyWords = drive.identifyWords;
    identify.model = drive.model;
    identify.serial = drive.serial;
    identify.firmware = drive.firmware;
    const std::vector<IdentifyLine> lines = IdentifyTableLines(identify);
    written = WriteIdentifyWorkbook(lines, request.output, &error, target);
    summary = std::to_string(lines.size()) + " row(s)";
  } else {
    SmartSnapshot snapshot;
    if (!ReadDriveWithTable(*machine.drives, drive, roots.install, StartPeCycleLimit(roots),
                            messages, &snapshot)) {
      return kExitDiskUnreadable;
    }
    if (request.what == "smart") {
      written = WriteSmartWorkbook(snapshot.attributes, request.output, &error, target);
      summary = std::to_string(snapshot.attributes.size()) + " row(s)";
    } else if (snapshot.modelSeries != 0 && HealthSourceOf(snapshot) != HealthSource::kEndurance) {
      err << "drivesentinel export: Unsupported!\n";
      return kExitFailure;
    } else {
      // The export reads the history; it never starts one, but for the sample drives, which
      // get their generated year of history as the window would give it on its first start.
      const std::string folder = HistoryFolder(roots.home, drive.model, drive.serial);
      if (options.source == DiskSource::kDemo && snapshot.modelSeries == 0)
        WriteDemoHistory(folder, snapshot.attr167Raw, today());
      HistoryStart start;
      const bool started = ReadHistoryStart(folder, &start);
      if (!started) {
        err << "drivesentinel export: no history has been recorded for this disk yet\n";
        start = HistoryStart{};  // only the header row, labelled for the disk's own figure
        start.endurance = HealthSourceOf(snapshot) == HealthSource::kEndurance;
      }
      const CivilDate date = today();
      const std::size_t rows =
          started ? HealthExportRows(folder, start, date, snapshot.peCycleLimit).size() : 0;
      written = ExportHealthWorkbook(folder, start, date, snapshot.peCycleLimit, request.output,
                                     &error, target);
      summary = std::to_string(rows) + " recorded day(s)";
    }
  }
  if (!written) {
    err << "drivesentinel export: " << error << "\n";
    return kExitFailure;
  }
  out << "Wrote " << request.output << ": " << summary << ".\n";
  return kExitOk;
}

}  // namespace ds
