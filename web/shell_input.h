#pragma once

#include <cstdint>
#include <functional>
#include <string>

// One input of the shell page (POST /data/.input): a button press, a mouse-down in window
// coordinates, a key, a click on the notification icon, a dialog answer, the splash's Close
// or a command of the window's system menu. Parsed from the form fields of the request; anything
// malformed is refused.
namespace ds {

enum class InputKind {
  kButton,
  kMouseDown,
  kKey,
  kTray,
  kDialogAnswer,
  kSplashClose,
  kSystemCommand,
};

struct ShellInput {
  InputKind kind = InputKind::kButton;
  int id = 0;           // button id, dialog id or system command id
  int mouseButton = 0;  // 0 left, 2 right
  int x = 0;
  int y = 0;
  // Mouse-down: when the page saw it, in the browser's milliseconds since 1970 (0 unknown).
  // A page script that stores inputs on the same click stamps them with its own clock, so
  // the program can tell its inputs from earlier ones whatever order the requests arrive.
  std::uint64_t at = 0;
  std::string key;        // "F2"
  bool trayLeft = false;  // the left button pressed on the notification icon
  std::string answer;     // dialog: "ok", "cancel", "yes", "no"
  std::string text;       // dialog: the typed text
  bool choiceYes = true;  // autorun dialog: the Yes radio button
  bool check = false;     // autorun dialog: "Do not ask me again"
};

// `field(name)` gives a form field's value, or nullptr when absent. False with `message`
// set for an unknown type, a missing or non-numeric field, or an oversized text.
bool ParseShellInput(const std::function<const std::string*(const std::string&)>& field,
                     ShellInput* input, std::string* message);

}  // namespace ds
