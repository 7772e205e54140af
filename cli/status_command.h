#pragma once

#include <ostream>
#include <string>
#include <vector>

// The status sub-command, for cron and Nagios-style checks:
//
//   drivesentinel status [--demo | --sim DIR] [--home DIR] [--reset-alerts]
//
// A summary line ("OK: 3 disks"), then one line per disk: number, device, model, serial,
// temperature, health, remaining lifespan, the disk's own verdict and alert state. While a program
// runs for the home (its instance lock is held) they are the monitor's last readings in the state
// folder; otherwise every kept disk is read now, beside the states of the folder. It never wakes a
// sleeping disk, never writes a state and never mails. --reset-alerts re-arms every disk instead.
// Its exit codes are the checks' own (kStatus* in cli/exit_codes.h), not the other sub-commands'.
namespace ds {

// `args` are the words after "status"; `installFolder` the executable's folder.
int RunStatusCommand(const std::vector<std::string>& args, const std::string& installFolder,
                     std::ostream& out, std::ostream& err);

}  // namespace ds
