#pragma once

#include <optional>
#include <string>

#include "pages/template_expander.h"
#include "platform/program_roots.h"
#include "store/settings.h"

// The Tool page: the alert and mail settings form, the e-mail test button and the Security
// Erase start button with its progress bar, from the template in its registry row. The page holds
// no logic: which buttons are live and which fields are greyed is decided here, from the edit
// mode, the erase state and the alert settings; the window's click map reacts to the buttons
// and the typed values come back as cookies.
namespace ds {

// Everything a Tool page build reads. The caller reloads `settings` from its file first.
struct ToolPageInput {
  int driveCount = 0;
  int toolEditMode = 0;   // 1: the form is editable, Save and Test are live
  int eraseRunning = 0;   // 1: the start button is greyed
  int eraseProgress = 0;  // 0-100, of the running or the last erase
  AlertSettings settings;
};

inline constexpr const char* kToolPageFile = "ToolPage.html";

// The 24 fields of the page, in replacement order. The stored texts are escaped for a
// double-quoted attribute and cannot contain a placeholder of the page.
PageFields ToolPageFields(const ToolPageInput& input);

// Deletes the previous page; without a drive or a template stops there (nullopt, `message`
// empty). Otherwise writes data/ToolPage.html into the home folder, readable by its owner only
// since it holds the mail password, and returns its file name; nullopt with `message` set when the
// page could not be written.
[[nodiscard]] std::optional<std::string> BuildToolPage(const ProgramRoots& roots,
                                                       const ToolPageInput& input,
                                                       std::string* message);

}  // namespace ds
