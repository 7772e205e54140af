#pragma once

#include <functional>
#include <string>

#include "web/window_look.h"

// The window's outputs: what the program shows and asks. On Linux the web shell plays the
// window in a browser; tests use a scripted shell. Modal calls block the calling thread
// until the user answers; with no viewer they return their safe default at once.
namespace ds {

// kProgram: the program's own icon (the About box).
enum class MessageIcon { kNone, kExclamation, kProgram };

// The autorun question's outcome: OK or Cancel, the Yes/No choice and the check box.
struct AutorunAnswer {
  bool ok = false;
  bool yes = true;
  bool doNotAskAgain = false;
};

// What the e-mail test dialog shows: its label, in black or red, and whether its Close
// button is visible (hidden while a test runs, and when the dialog opens).
struct MailTestLabel {
  std::string text;
  bool red = false;
  bool closeVisible = true;
};

// Lets the running test change the dialog's label.
using MailTestView = std::function<void(const MailTestLabel&)>;

class WindowShell {
 public:
  virtual ~WindowShell() = default;

  // Shows the window as `look` describes it (buttons, page, tray, splash).
  virtual void Publish(const WindowLook& look) = 0;

  // Modal dialogs. Safe defaults: OK, No, Cancel, Cancel.
  virtual void ShowMessage(const std::string& text, const std::string& caption,
                           MessageIcon icon) = 0;
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // True with the typed text on OK; false on Cancel.
  virtual bool AskPassword(std::string* code) = 0;
  virtual AutorunAnswer AskAutorun() = 0;

  // Runs `action` once, as soon as a page shows the window: at once when one does already,
  // else on the thread that connects the first page. `action` must not block.
  virtual void WhenViewed(std::function<void()> action) = 0;

  // Shows the splash for `seconds` or until the user closes it; returns then.
  virtual void ShowSplash(int seconds) = 0;

  // The Save-As of an export: offers the data-folder file for download under `fileName`.
  virtual void OfferDownload(const std::string& dataFile, const std::string& fileName) = 0;

  // Opens a web address or a data-folder file ("/data/...") in a new browser tab.
  virtual void OpenInNewTab(const std::string& address) = 0;

  // The modal e-mail test dialog ("Email Test"): shows it, runs `test` on the calling thread
  // (it reports through the view), then waits until the user presses Close. With no viewer
  // `test` still runs and the call returns when it ends.
  virtual void RunMailTestDialog(const std::function<void(const MailTestView& view)>& test) = 0;
};

}  // namespace ds
