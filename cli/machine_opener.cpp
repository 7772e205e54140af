#include "cli/machine_opener.h"

#include <filesystem>

#include <cstdio>
#include <cstdlib>

#include "cli/exit_codes.h"
#include "cli/home_folder.h"
#include "drive/machine_drive_service.h"
#include "platform/linux/linux_disk_system.h"
#include "platform/sim/simulated_machine.h"
#include "store/program_ini.h"

namespace ds {
namespace {

bool TakeFolder(std::vector<std::string>& args, std::size_t* i, std::string* folder,
                std::string* error) {
  const std::string option = args[*i];
  if (*i + 1 >= args.size() || args[*i + 1].empty()) {
    *error = option + " needs a folder";
    return false;
  }
  *folder = args[++*i];
  return true;
}

}  // namespace

bool TakeMachineOptions(std::vector<std::string>* args, MachineOptions* options,
                        std::string* error) {
  std::vector<std::string> rest;
  bool demo = false;
  bool sim = false;
  for (std::size_t i = 0; i < args->size(); ++i) {
    const std::string& arg = (*args)[i];
    if (arg == "--demo") {
      demo = true;
    } else if (arg == "--sim") {
      if (!TakeFolder(*args, &i, &options->simFolder, error))
        return false;
      sim = true;
    } else if (arg == "--home") {
      if (!TakeFolder(*args, &i, &options->home, error))
        return false;
      if (options->home.back() != '/')
        options->home += '/';
    } else {
      rest.push_back(arg);
    }
  }
  if (demo && sim) {
    *error = "--demo and --sim exclude each other";
    return false;
  }
  if (demo)
    options->source = DiskSource::kDemo;
  if (sim)
    options->source = DiskSource::kSimulated;
  *args = std::move(rest);
  return true;
}

bool TakeDriveOption(std::vector<std::string>* args, std::optional<int>* index,
                     std::string* error) {
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < args->size(); ++i) {
    if ((*args)[i] != "--drive") {
      rest.push_back((*args)[i]);
      continue;
    }
    const std::string value = i + 1 < args->size() ? (*args)[++i] : "";
    if (value.empty() || value.size() > 2 ||
        value.find_first_not_of("0123456789") != std::string::npos || std::stoi(value) > 25) {
      *error = "--drive needs a disk index (0-25), not \"" + value + "\"";
      return false;
    }
    *index = std::stoi(value);
  }
  *args = std::move(rest);
  return true;
}

bool RootsFor(const MachineOptions& options, const std::string& installFolder, ProgramRoots* roots,
              std::string* error, SystemConfig* config) {
  std::string why;
  const SystemConfig read = ReadSystemConfig(options.configFile, &why);
  if (!why.empty())
    std::fprintf(stderr, "drivesentinel: %s\n", why.c_str());
  if (config != nullptr)
    *config = read;
  std::string home;
  if (!ChooseHomeFolder(options.home, std::getenv(kHomeEnvironmentVariable), read.homeFolder,
                        ReadProgramIni(installFolder).homeFolder, installFolder, &home, error)) {
    return false;
  }
  // The configured home belongs to the real machine (the service keeps its history there):
  // a simulated machine's settings and histories go into a folder of their own below it.
  if (options.source != DiskSource::kRealDisks && options.home.empty() &&
      home != ProgramRoots(installFolder).install) {
    home += "simulated/";
    std::error_code ignored;
    std::filesystem::create_directory(home, ignored);
  }
  *roots = ProgramRoots(installFolder, home);
  return true;
}

bool OpenMachine(const MachineOptions& options, const ProgramRoots& roots,
                 const MessageSink& messages, bool enumerate, OpenedMachine* machine,
                 std::string* error) {
  std::string folder;  // of a simulated machine
  if (options.source == DiskSource::kRealDisks) {
    machine->disks = std::make_unique<LinuxDiskSystem>("/");
    machine->facts = ReadMachineFacts("/");
  } else {
    folder =
        options.source == DiskSource::kDemo ? roots.InstallData("sim/demo") : options.simFolder;
    machine->disks = SimulatedMachine::Load(folder, error);
    if (!machine->disks) {
      *error = "cannot load the simulated machine " + folder + ": " + *error;
      return false;
    }
    machine->facts = MachineFacts();
    machine->facts.boardProduct = "Simulated board";
    machine->facts.storageControllers.push_back(
        {"Standard SATA AHCI Controller (simulated)", "1.1"});
  }
  // Every process of the program that talks to one disk takes the same lock file.
  const std::string lockFolder = options.source == DiskSource::kRealDisks
                                     ? std::string(kDiskLockFolder)
                                     : SimulatedDiskLockFolder(folder);
  machine->drives = std::make_unique<MachineDriveService>(
      *machine->disks, lockFolder, machine->facts.boardProduct.value_or(""), messages);
  if (enumerate)
    machine->list = machine->drives->RefreshDriveList({});
  return true;
}

int StartPeCycleLimit(const ProgramRoots& roots) {
  return ReadProgramIni(roots.install).peCycleLimit;
}

static int FindDiskWithSerial(const OpenedMachine& machine, int index, const std::string& serial,
                              const std::string& notDone, const DriveRecord** record,
                              std::string* error) {
  if (machine.list.driveCount == 0) {
    *error = "no ATA or SATA disk on this machine";
    return kExitNoDisk;
  }
  if (const Status access = machine.drives->CheckAccess(); !access) {
    *error = access.message;
    return kExitNoRights;
  }
  if (index >= machine.list.driveCount) {
    *error = "there is no disk " + std::to_string(index) + " (found " +
             std::to_string(machine.list.driveCount) + " ATA/SATA disks)";
    return kExitUsage;
  }
  *record = &machine.list.drives[static_cast<std::size_t>(index)];
  if ((*record)->serial != serial) {
    *error = "disk " + std::to_string(index) + " has the serial \"" + (*record)->serial +
             "\", not \"" + serial + "\"; nothing was " + notDone;
    return kExitRefused;
  }
  return kExitOk;
}

int OpenDiskWithSerial(const MachineOptions& options, const std::string& installFolder, int index,
                       const std::string& serial, const char* notDone, const char* prefix,
                       std::ostream& err, OpenedMachine* machine, const DriveRecord** record) {
  const MessageSink messages = [&err, prefix](std::string_view text) {
    err << prefix << text << "\n";
  };
  std::string error;
  ProgramRoots roots;
  if (!RootsFor(options, installFolder, &roots, &error)) {
    err << prefix << error << "\n";
    return kExitFailure;
  }
  if (!OpenMachine(options, roots, messages, true, machine, &error)) {
    err << prefix << error << "\n";
    return kExitNoRights;
  }
  const int code = FindDiskWithSerial(*machine, index, serial, notDone, record, &error);
  if (code != kExitOk)
    err << prefix << error << "\n";
  return code;
}

}  // namespace ds
