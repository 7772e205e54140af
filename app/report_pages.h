#pragma once

#include "app/drive_access.h"
#include "app/page_building.h"
#include "app/registry.h"
#include "pages/page_registry.h"
#include "pages/system_info.h"
#include "platform/disk_system.h"
#include "platform/program_roots.h"
#include "store/history_date.h"
#include "store/settings_store.h"

// The pages of the window: Internal, Disk Information, Health Status, S.M.A.R.T., TOOL and
// System Information, and the health workbook. Each builder refreshes what its page needs
// (the drive list, volumes, temperatures, the alert settings, the vendor figure) and writes
// its files into the home folder. Build picks the builder from a table keyed by the page
// registry's ids.
namespace ds {

class ReportPages : public PageBuilding {
 public:
  // Everything passed in outlives this object. `today` gives the local date of the history.
  ReportPages(ProgramRoots roots, DriveAccess& drives, DiskSystem& disks, Registry& registry,
              SettingsStore& settings, SystemInfo systemInfo, LocalDateSource today);

  [[nodiscard]] std::optional<std::string> Build(int page, WindowState& state,
                                                 const MessageSink& shown,
                                                 std::string* message) override;
  bool ExportHealth(const WindowState& state, const std::string& path,
                    std::string* message) override;
  // True when the builder table holds a builder for the page.
  static bool HasBuilder(int page);

 private:
  using Builder = std::optional<std::string> (ReportPages::*)(WindowState&, std::string*);
  struct BuilderRow {
    int page;
    Builder build;  // nullptr for a page the dialog shows without building (Home)
  };
  // One row per registry page, in id order.
  static const BuilderRow kBuilders[kPageCount];

  std::optional<std::string> BuildDiskInfo(WindowState& state, std::string* message);
  std::optional<std::string> BuildHealth(WindowState& state, std::string* message);
  std::optional<std::string> BuildSmart(WindowState& state, std::string* message);
  std::optional<std::string> BuildSystem(WindowState& state, std::string* message);
  std::optional<std::string> BuildTool(WindowState& state, std::string* message);
  std::optional<std::string> BuildInternal(WindowState& state, std::string* message);

  const ProgramRoots roots_;
  DriveAccess& drives_;
  DiskSystem& disks_;
  Registry& registry_;
  SettingsStore& settings_;
  const SystemInfo systemInfo_;
  const LocalDateSource today_;
};

}  // namespace ds
