#pragma once

#include <optional>
#include <string>

#include "app/window_state.h"
#include "drive/message_sink.h"

// Writes the page of one page id into the home folder from a copy of the window's state.
// Runs on the window's page worker without the state lock. A builder may refresh the drive
// list and reload the history start record (and the Tool page the alert settings) in
// `state`; the window takes those back when it publishes the page. Returns the page's file
// name relative to the data folder, or nothing with `message` (the browser stays put).
// The texts of failed disk reads go to `shown` besides the log (see DriveAccess).
namespace ds {

class PageBuilding {
 public:
  virtual ~PageBuilding() = default;
  virtual std::optional<std::string> Build(int page, WindowState& state, const MessageSink& shown,
                                           std::string* message) = 0;
  // Writes the health workbook of the selected drive to `path`.
  virtual bool ExportHealth(const WindowState& state, const std::string& path,
                            std::string* message) = 0;
};

}  // namespace ds
