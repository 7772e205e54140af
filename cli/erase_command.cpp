#include "cli/erase_command.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

#include "cli/exit_codes.h"
#include "cli/machine_opener.h"
#include "cli/sub_commands.h"
#include "drive/secure_erase.h"

namespace ds {

namespace {

struct EraseOptions {
  MachineOptions machine;
  std::optional<int> driveIndex;
  std::string serial;
  bool confirmed = false;
};

bool ParseOptions(std::vector<std::string> args, EraseOptions* options, std::string* error) {
  if (!TakeMachineOptions(&args, &options->machine, error) ||
      !TakeDriveOption(&args, &options->driveIndex, error)) {
    return false;
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--serial" && hasValue) {
      options->serial = args[++i];
    } else if (arg == "--yes-erase-all-data") {
      options->confirmed = true;
    } else {
      *error = "unknown or incomplete argument \"" + arg + "\"";
      return false;
    }
  }
  if (!options->driveIndex || options->serial.empty()) {
    *error = "--drive and --serial are both needed";
    return false;
  }
  if (!options->confirmed) {
    *error = "--yes-erase-all-data is needed: the erase destroys every byte on the disk";
    return false;
  }
  return true;
}

int ExitCodeOf(EraseResult result) {
  switch (result) {
    case EraseResult::kErased:
      return kExitOk;
    case EraseResult::kRefused:
      return kExitEraseRefused;
    case EraseResult::kFailed:
      return kExitEraseFailed;
    case EraseResult::kFailedPasswordMaybeSet:
      break;
  }
  return kExitEraseFailedPasswordMaybeSet;
}

}  // namespace

int RunEraseCommand(const std::vector<std::string>& args, const std::string& installFolder,
                    std::ostream& out, std::ostream& err, std::stop_token stop) {
  const char* prefix = "drivesentinel erase: ";
  EraseOptions options;
  std::string error;
  if (!ParseOptions(args, &options, &error)) {
    err << prefix << error << "\n" << CommandUsage("erase");
    return kExitUsage;
  }
  const int index = *options.driveIndex;
  OpenedMachine machine;
  const DriveRecord* found = nullptr;
  if (const int code = OpenDiskWithSerial(options.machine, installFolder, index, options.serial,
                                          "erased", prefix, err, &machine, &found);
      code != kExitOk) {
    return code;
  }
  const DriveRecord& record = *found;
  EraseTarget target;
  if (!machine.drives->CaptureEraseTarget(record, &target, &error)) {
    err << prefix << error << "\n";
    return kExitEraseRefused;
  }

  err << prefix << "erasing disk " << index << " (" << target.diskKey << ", serial "
      << target.serial << ", " << target.sectorCount << " sectors)\n";
  EraseCallbacks callbacks;
  callbacks.progress = [&err, prefix](int percent) {
    err << prefix << percent << "%" << std::endl;
  };
  callbacks.securityPhase = [&err, prefix](bool inside) {
    err << prefix
        << (inside ? "security erase started; it cannot be stopped until it ends"
                   : "security erase ended")
        << std::endl;
  };
  const EraseOutcome outcome = machine.drives->Erase(target, callbacks, stop);
  if (outcome.result == EraseResult::kErased) {
    out << outcome.message << "\n";
  } else {
    err << prefix << outcome.message << "\n";
  }
  return ExitCodeOf(outcome.result);
}

int RunEraseCommandWithSignals(const std::vector<std::string>& args,
                               const std::string& installFolder, std::ostream& out,
                               std::ostream& err) {
  // The signals are taken by a thread of their own; SIGUSR1 tells it the erase is over.
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1})
    sigaddset(&signals, signal);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::stop_source stopper;
  std::thread waiter([&signals, &stopper, &err] {
    int received = 0;
    while (sigwait(&signals, &received) == 0 && received != SIGUSR1) {
      if (stopper.request_stop()) {
        err << "drivesentinel erase: stopping at the next safe point" << std::endl;
      }
    }
  });
  const int code = RunEraseCommand(args, installFolder, out, err, stopper.get_token());
  pthread_kill(waiter.native_handle(), SIGUSR1);
  waiter.join();
  return code;
}

}  // namespace ds
