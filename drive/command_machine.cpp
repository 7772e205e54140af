#include "drive/command_machine.h"

#include "drive/model_series.h"
#include "drive/read_drive.h"
#include "platform/linux/linux_disk_system.h"
#include "platform/sim/simulated_machine.h"
#include "store/description_tables.h"
#include "store/ini_file_reader.h"
#include "store/leading_integer.h"

namespace ds {

bool TakeMachineOptions(std::vector<std::string>* args, MachineChoice* choice, std::string* error) {
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < args->size(); ++i) {
    const std::string& arg = (*args)[i];
    const bool hasValue = i + 1 < args->size();
    if (arg == "--demo") {
      choice->source = MachineChoice::Source::kDemo;
    } else if (arg == "--sim" || arg == "--home") {
      if (!hasValue) {
        *error = arg + " needs a folder";
        return false;
      }
      std::string folder = (*args)[++i];
      if (arg == "--sim") {
        choice->source = MachineChoice::Source::kSim;
        choice->simFolder = folder;
      } else {
        if (folder.empty() || folder.back() != '/')
          folder += '/';
        choice->home = folder;
      }
    } else {
      rest.push_back(arg);
    }
  }
  *args = std::move(rest);
  return true;
}

bool OpenCommandMachine(const MachineChoice& choice, const MessageSink& messages,
                        CommandMachine* machine, std::string* error) {
  if (choice.source == MachineChoice::Source::kReal) {
    auto real = std::make_unique<LinuxDiskSystem>();
    machine->baseBoardProduct = real->BoardProduct();
    machine->disks = std::move(real);
  } else {
    const std::string folder = choice.source == MachineChoice::Source::kDemo
                                   ? choice.home + "data/sim/demo"
                                   : choice.simFolder;
    machine->disks = SimulatedMachine::Load(folder, error);
    if (!machine->disks)
      return false;
  }
  machine->list = RefreshDriveList(*machine->disks, messages);
  return true;
}

int StartPeCycleLimit(const std::string& home) {
  int limit = kDefaultPeCycleLimit;
  IniFileReader ini(home + "Norvik_DriveSentinel.ini");
  AssignIfNotEmpty(ini.lookup("PE_Cycle_Limit"), &limit);
  return limit;
}

int ReadDriveForCommand(const CommandMachine& machine, const DriveRecord& drive,
                        const std::string& home, const MessageSink& messages,
                        SmartSnapshot* snapshot) {
  snapshot->peCycleLimit = StartPeCycleLimit(home);
  AttributeTable table;
  LoadAttributeTable(table, home, DetectModelSeries(drive.model));
  ReadDriveContext context;
  context.opener = machine.disks.get();
  context.attributeTable = &table;
  context.selectedModel = drive.model;
  context.baseBoardProduct = machine.baseBoardProduct;
  context.showMessage = messages;
  return ReadDrive(context, drive.driveNumber, snapshot);
}

}  // namespace ds
