#include "cli/selftest_command.h"

#include "cli/exit_codes.h"
#include "cli/machine_opener.h"
#include "cli/sub_commands.h"
#include "drive/selftest.h"

namespace ds {

namespace {

struct SelfTestOptions {
  MachineOptions machine;
  std::optional<int> driveIndex;
  std::string serial;
  std::optional<SelfTestKind> kind;
};

bool ParseOptions(std::vector<std::string> args, SelfTestOptions* options, std::string* error) {
  if (!TakeMachineOptions(&args, &options->machine, error) ||
      !TakeDriveOption(&args, &options->driveIndex, error)) {
    return false;
  }
  int kinds = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--serial" && i + 1 < args.size()) {
      options->serial = args[++i];
    } else if (arg == "--short" || arg == "--extended" || arg == "--abort") {
      ++kinds;
      options->kind = arg == "--short"      ? SelfTestKind::kShort
                      : arg == "--extended" ? SelfTestKind::kExtended
                                            : SelfTestKind::kAbort;
    } else {
      *error = "unknown or incomplete argument \"" + arg + "\"";
      return false;
    }
  }
  if (!options->driveIndex || options->serial.empty()) {
    *error = "--drive and --serial are both needed";
    return false;
  }
  if (kinds != 1) {
    *error = "one of --short, --extended and --abort is needed";
    return false;
  }
  return true;
}

}  // namespace

int RunSelfTestCommand(const std::vector<std::string>& args, const std::string& installFolder,
                       std::ostream& out, std::ostream& err) {
  const char* prefix = "drivesentinel selftest: ";
  SelfTestOptions options;
  std::string error;
  if (!ParseOptions(args, &options, &error)) {
    err << prefix << error << "\n" << CommandUsage("selftest");
    return kExitUsage;
  }
  const int index = *options.driveIndex;
  OpenedMachine machine;
  const DriveRecord* record = nullptr;
  if (const int code = OpenDiskWithSerial(options.machine, installFolder, index, options.serial,
                                          "started", prefix, err, &machine, &record);
      code != kExitOk) {
    return code;
  }
  const SelfTestOutcome outcome =
      machine.drives->SelfTest(record->driveNumber, record->serial, *options.kind);
  switch (outcome.result) {
    case SelfTestResult::kStarted:
      out << "disk " << index << " (serial " << record->serial << "): " << outcome.message << "\n";
      return kExitOk;
    case SelfTestResult::kRefused:
      err << prefix << "disk " << index << ": " << outcome.message << "\n";
      return kExitRefused;
    case SelfTestResult::kFailed:
      break;
  }
  err << prefix << "disk " << index << ": " << outcome.message << "\n";
  return kExitFailure;
}

}  // namespace ds
