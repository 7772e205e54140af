#pragma once

#include <memory>
#include <string>
#include <vector>

#include "drive/drive_enumerator.h"
#include "drive/drive_record.h"
#include "drive/message_sink.h"
#include "platform/disk_system.h"

// The disks a command-line sub-command works on (the real machine, the sample machine or a
// simulated machine folder), enumerated and read the way the window reads them.
namespace ds {

struct MachineChoice {
  enum class Source { kReal, kDemo, kSim } source = Source::kReal;
  std::string simFolder;  // for kSim
  std::string home;       // the program folder with a trailing "/"
};

// Takes the machine options out of `args` ("--demo", "--sim DIR", "--home DIR"), leaving
// the other words in order. False with `error` set when an option lacks its value.
bool TakeMachineOptions(std::vector<std::string>* args, MachineChoice* choice, std::string* error);

// An opened machine with its drive list.
struct CommandMachine {
  std::unique_ptr<DiskSystem> disks;
  std::string baseBoardProduct;  // the motherboard product of the real machine
  DriveList list;
};

// Opens the chosen machine and enumerates its drives. False with `error` set when a
// simulated machine does not load.
bool OpenCommandMachine(const MachineChoice& choice, const MessageSink& messages,
                        CommandMachine* machine, std::string* error);

// The erase-cycle limit a read starts from: PE_Cycle_Limit of the program's ini file, or
// the default.
int StartPeCycleLimit(const std::string& home);

// Reads the S.M.A.R.T. state of a kept drive with the attribute table of its series.
// Returns 1 when the data sector was read.
int ReadDriveForCommand(const CommandMachine& machine, const DriveRecord& drive,
                        const std::string& home, const MessageSink& messages,
                        SmartSnapshot* snapshot);

}  // namespace ds
