#pragma once

#include <optional>
#include <string>

#include "app/window_state.h"
#include "drive/message_sink.h"

// Writes the page of one page id into the home folder from a copy of the window's state.
// Runs on the window's page worker without the state lock. First it takes the page's
// reading steps (kStep* of the page registry: series, descriptions, the selected disk's
// read) on `state`; a builder may also refresh the drive list and reload the history start
// record (and the Tool page the alert settings) there. The window takes those back when it
// publishes the page, as far as they still belong to the disk it shows. Returns the page's
// file name relative to the data folder, or nothing with `message` (the browser stays put).
// The texts of failed disk reads go to `shown` besides the log (see DriveService).
namespace ds {

class PageBuilding {
 public:
  virtual ~PageBuilding() = default;
  virtual std::optional<std::string> Build(int page, unsigned steps, WindowState& state,
                                           const MessageSink& shown, std::string* message) = 0;
  // Writes the health workbook of the selected drive to `path`.
  virtual bool ExportHealth(const WindowState& state, const std::string& path,
                            std::string* message) = 0;
};

}  // namespace ds
