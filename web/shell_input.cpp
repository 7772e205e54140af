#include "web/shell_input.h"

#include <charconv>

namespace ds {
namespace {

constexpr std::size_t kMaxText = 256;
constexpr int kCoordinateLimit = 100000;

bool ParseInt(const std::string* text, int low, int high, int* value) {
  if (text == nullptr || text->empty())
    return false;
  const char* begin = text->data();
  const char* end = begin + text->size();
  int parsed = 0;
  auto [last, error] = std::from_chars(begin, end, parsed);
  if (error != std::errc() || last != end || parsed < low || parsed > high)
    return false;
  *value = parsed;
  return true;
}

bool Fail(std::string* message, const std::string& text) {
  if (message)
    *message = text;
  return false;
}

}  // namespace

bool ParseShellInput(const std::function<const std::string*(const std::string&)>& field,
                     ShellInput* input, std::string* message) {
  const std::string* type = field("type");
  if (type == nullptr)
    return Fail(message, "no input type");
  ShellInput parsed;
  if (*type == "button") {
    parsed.kind = InputKind::kButton;
    if (!ParseInt(field("id"), 0, 1 << 20, &parsed.id))
      return Fail(message, "bad button id");
  } else if (*type == "mousedown") {
    parsed.kind = InputKind::kMouseDown;
    if (!ParseInt(field("button"), 0, 4, &parsed.mouseButton) ||
        !ParseInt(field("x"), -kCoordinateLimit, kCoordinateLimit, &parsed.x) ||
        !ParseInt(field("y"), -kCoordinateLimit, kCoordinateLimit, &parsed.y)) {
      return Fail(message, "bad mouse position");
    }
    if (const std::string* at = field("at")) {
      auto [end, error] = std::from_chars(at->data(), at->data() + at->size(), parsed.at);
      if (error != std::errc() || end != at->data() + at->size())
        return Fail(message, "bad mouse time");
    }
  } else if (*type == "key") {
    parsed.kind = InputKind::kKey;
    const std::string* key = field("key");
    if (key == nullptr || key->empty() || key->size() > 32)
      return Fail(message, "bad key");
    parsed.key = *key;
  } else if (*type == "tray") {
    parsed.kind = InputKind::kTray;
    const std::string* button = field("button");
    if (button == nullptr)
      return Fail(message, "bad tray click");
    if (*button == "left") {
      parsed.trayLeft = true;
    } else if (*button != "right" && *button != "middle" && *button != "double") {
      return Fail(message, "bad tray click");
    }
  } else if (*type == "dialog") {
    parsed.kind = InputKind::kDialogAnswer;
    if (!ParseInt(field("id"), 1, 1 << 30, &parsed.id))
      return Fail(message, "bad dialog id");
    const std::string* answer = field("answer");
    if (answer == nullptr ||
        (*answer != "ok" && *answer != "cancel" && *answer != "yes" && *answer != "no")) {
      return Fail(message, "bad dialog answer");
    }
    parsed.answer = *answer;
    if (const std::string* text = field("text")) {
      if (text->size() > kMaxText)
        return Fail(message, "dialog text too long");
      parsed.text = *text;
    }
    if (const std::string* choice = field("choice"))
      parsed.choiceYes = *choice != "no";
    if (const std::string* check = field("check"))
      parsed.check = *check == "1";
  } else if (*type == "syscommand") {
    parsed.kind = InputKind::kSystemCommand;
    if (!ParseInt(field("id"), 0, 0xFFFF, &parsed.id))
      return Fail(message, "bad system command");
  } else if (*type == "splash-close") {
    parsed.kind = InputKind::kSplashClose;
  } else {
    return Fail(message, "unknown input type");
  }
  *input = std::move(parsed);
  return true;
}

}  // namespace ds
