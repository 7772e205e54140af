#include "cli/report_command.h"

#include "cli/exit_codes.h"
#include "cli/machine_opener.h"
#include "cli/sub_commands.h"
#include "drive/drive_report.h"

namespace ds {

int RunReportCommand(const std::vector<std::string>& args, const std::string& installFolder,
                     std::ostream& out, std::ostream& err) {
  std::vector<std::string> words = args;
  MachineOptions options;
  std::optional<int> driveIndex;
  bool json = false;
  std::string error;
  bool parsed =
      TakeMachineOptions(&words, &options, &error) && TakeDriveOption(&words, &driveIndex, &error);
  for (const std::string& word : words) {
    if (!parsed)
      break;
    if (word == "--json") {
      json = true;
    } else if (word == "--all") {
      driveIndex.reset();
    } else {
      error = "unknown argument \"" + word + "\"";
      parsed = false;
    }
  }
  if (!parsed) {
    err << "drivesentinel report: " << error << "\n" << CommandUsage("report");
    return kExitUsage;
  }

  ProgramRoots roots;
  if (!RootsFor(options, installFolder, &roots, &error)) {
    err << "drivesentinel report: " << error << "\n";
    return kExitFailure;
  }
  const MessageSink toErr = [&err](std::string_view text) {
    err << "drivesentinel report: " << text << "\n";
  };
  OpenedMachine machine;
  if (!OpenMachine(options, roots, toErr, true, &machine, &error)) {
    err << "drivesentinel report: " << error << "\n";
    return kExitNoRights;
  }
  const DriveList& list = machine.list;
  if (list.driveCount == 0) {
    WriteReport(out, list, {}, json);
    return kExitNoDisk;
  }
  if (const Status access = machine.drives->CheckAccess(); !access) {
    err << "drivesentinel report: " << access.message << "\n";
    return kExitNoRights;
  }
  if (driveIndex && *driveIndex >= list.driveCount) {
    err << "drivesentinel report: there is no disk " << *driveIndex << " (found " << list.driveCount
        << ")\n";
    return kExitUsage;
  }

  std::vector<DriveReading> readings;
  const std::vector<VolumeFacts> volumes = machine.drives->Volumes();
  const int startLimit = StartPeCycleLimit(roots);
  bool allRead = true;
  for (int i = 0; i < list.driveCount; ++i) {
    if (driveIndex && i != *driveIndex)
      continue;
    DriveReading reading;
    reading.index = i;
    reading.record = list.drives[static_cast<std::size_t>(i)];
    reading.smartRead = ReadDriveWithTable(
        *machine.drives, reading.record, roots.install, startLimit,
        [&reading](std::string_view text) { reading.messages.emplace_back(text); },
        &reading.snapshot);
    allRead = allRead && reading.smartRead;
    for (const VolumeFacts& volume : volumes) {
      if (volume.driveNumber == reading.record.driveNumber)
        reading.volumes.push_back(volume);
    }
    readings.push_back(std::move(reading));
  }
  WriteReport(out, list, readings, json);
  return allRead ? kExitOk : kExitDiskUnreadable;
}

}  // namespace ds
