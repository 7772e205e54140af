#pragma once

#include "app/page_building.h"
#include "app/registry.h"
#include "drive/drive_service.h"
#include "pages/page_registry.h"
#include "pages/system_info.h"
#include "platform/program_roots.h"
#include "store/history_date.h"
#include "store/settings_store.h"

// The pages of the window: Home (every kept disk at a glance), Internal, Disk Information, Health
// Status, S.M.A.R.T., TOOL and System Information, and the health workbook. Build takes the page's
// reading steps, then each builder reads what its page needs through the drive service (the drive
// list, volumes, temperatures, the vendor figure) and the stores (the alert settings), and hands
// the data to its page in pages/, which writes the files into the home folder. Build picks
// the builder from a table keyed by the page registry's ids.
namespace ds {

class ReportPages : public PageBuilding {
 public:
  // Everything passed in outlives this object. `today` gives the local date of the history.
  // `log` gets one line per problem (a missing description file, a disk not read).
  ReportPages(ProgramRoots roots, DriveService& drives, Registry& registry, SettingsStore& settings,
              SystemInfo systemInfo, LocalDateSource today, MessageSink log = {});

  [[nodiscard]] std::optional<std::string> Build(int page, unsigned steps, WindowState& state,
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
    Builder build;
  };
  // One row per registry page, in id order.
  static const BuilderRow kBuilders[kPageCount];

  // The reading steps of page `page` on `state`.
  void ReadForPage(int page, unsigned steps, WindowState& state, const MessageSink& shown);
  std::optional<std::string> BuildHome(WindowState& state, std::string* message);
  std::optional<std::string> BuildDiskInfo(WindowState& state, std::string* message);
  std::optional<std::string> BuildHealth(WindowState& state, std::string* message);
  std::optional<std::string> BuildSmart(WindowState& state, std::string* message);
  std::optional<std::string> BuildSystem(WindowState& state, std::string* message);
  std::optional<std::string> BuildTool(WindowState& state, std::string* message);
  std::optional<std::string> BuildInternal(WindowState& state, std::string* message);

  const ProgramRoots roots_;
  DriveService& drives_;
  Registry& registry_;
  SettingsStore& settings_;
  const SystemInfo systemInfo_;
  const LocalDateSource today_;
  const MessageSink log_;
};

}  // namespace ds
