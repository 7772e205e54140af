#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "drive/drive_enumerator.h"
#include "drive/drive_service.h"
#include "drive/message_sink.h"
#include "platform/disk_system.h"
#include "platform/machine_facts.h"
#include "platform/program_roots.h"
#include "store/system_config.h"

// The options every command shares — which machine (--demo | --sim DIR), which home
// (--home DIR), which disk (--drive N) — and the one place that opens the real or the
// simulated machine. The window and every sub-command go through here.
namespace ds {

enum class DiskSource { kRealDisks, kDemo, kSimulated };

struct MachineOptions {
  DiskSource source = DiskSource::kRealDisks;
  std::string simFolder;  // --sim DIR
  std::string home;       // --home DIR with a trailing "/"; "" keeps the install folder
  std::string configFile = kSystemConfigFile;  // the administrator's file (tests move it)
};

// Takes --demo, --sim DIR and --home DIR out of `args`, leaving the other words in order.
// False with `error` for a missing or empty folder, or --demo beside --sim.
bool TakeMachineOptions(std::vector<std::string>* args, MachineOptions* options,
                        std::string* error);

// Takes "--drive N" (a kept-disk index, 0-25) out of `args`; `index` stays empty without it.
bool TakeDriveOption(std::vector<std::string>* args, std::optional<int>* index, std::string* error);

// The roots of a run: the executable's folder, and the home ChooseHomeFolder takes from
// --home, DRIVESENTINEL_HOME, the configuration file's or the ini file's Home_Folder. False
// with `error` when one of them names an unusable folder. The configuration file read goes
// to `config` when given; why it was ignored, if it was, goes to standard error.
bool RootsFor(const MachineOptions& options, const std::string& installFolder, ProgramRoots* roots,
              std::string* error, SystemConfig* config = nullptr);

// An opened machine with its facts and drive list. Every disk command goes through `drives`.
struct OpenedMachine {
  std::unique_ptr<DiskSystem> disks;
  std::unique_ptr<DriveService> drives;  // over `disks`, declared after it: it goes first
  MachineFacts facts;                    // the real machine's; a simulated machine gets fixed ones
  DriveList list;
};

// Opens the chosen machine (the sample machine lies in the install folder) and, with
// `enumerate`, lists its drives. False with `error` when a simulated machine does not load.
bool OpenMachine(const MachineOptions& options, const ProgramRoots& roots,
                 const MessageSink& messages, bool enumerate, OpenedMachine* machine,
                 std::string* error);

// The start of a command on one disk: the roots of `options`, the machine opened and
// enumerated, and its kept disk `index` when it carries `serial` (the check of a command that
// changes or tests a disk). kExitOk with `machine` and `record` set; else the exit code (usage
// of the folders, no machine, no disk, no rights, no such index, refused for another serial,
// which ends with "; nothing was " + `notDone`) with its message written to `err` after
// `prefix`; the machine's own messages go there too.
int OpenDiskWithSerial(const MachineOptions& options, const std::string& installFolder, int index,
                       const std::string& serial, const char* notDone, const char* prefix,
                       std::ostream& err, OpenedMachine* machine, const DriveRecord** record);

// The erase-cycle limit reads start from: PE_Cycle_Limit of the ini file, or the default.
int StartPeCycleLimit(const ProgramRoots& roots);

}  // namespace ds
