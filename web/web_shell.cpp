#include "web/web_shell.h"

#include <cstdio>

#include "text/json_text.h"

namespace ds {

std::string WindowLookJson(const WindowLook& look) {
  std::string json = "{\"page\":" + std::to_string(look.page);
  json += ",\"homePicture\":" + std::string(look.homePicture ? "true" : "false");
  json += ",\"internalButton\":" + std::string(look.internalButtonVisible ? "true" : "false");
  json += ",\"windowShown\":" + std::string(look.windowShown ? "true" : "false");
  json += ",\"minimized\":" + std::string(look.minimized ? "true" : "false");
  json += ",\"ended\":" + std::string(look.ended ? "true" : "false");
  json += ",\"frame\":" + JsonString(look.frame.empty() ? "" : "/data/" + look.frame);
  json += ",\"frameSequence\":" + std::to_string(look.frameSequence);
  json += ",\"buttons\":{";
  for (int id = kFirstButton; id <= kLastButton; ++id) {
    ButtonFace face = FaceOf(id, look.isSelected(id));
    if (id != kFirstButton)
      json += ",";
    json += "\"" + std::to_string(id) +
            "\":{\"normal\":" + JsonString("/data/" + ImageFile(face.normalImage)) +
            ",\"hover\":" + JsonString("/data/" + ImageFile(face.hoverImage)) +
            ",\"selected\":" + (look.isSelected(id) ? "true" : "false") + "}";
  }
  json += "}}";
  return json;
}

std::string WindowLayoutJson() {
  const auto number = [](int value) { return std::to_string(value); };
  std::string json = "{\"browser\":[" + number(kBrowserLeft) + "," + number(kBrowserTop) + "]";
  json += ",\"icon\":[" + number(kProgramIcon.left) + "," + number(kProgramIcon.top) + "," +
          number(kProgramIcon.width) + "," + number(kProgramIcon.height) + "]";
  // The buttons whose click always opens a view: Home and those with a page of their own.
  json += ",\"views\":[" + number(kButtonHome);
  for (const ButtonLayout& button : WindowButtons()) {
    if (button.id != kButtonHome && FindPageOfButton(button.id) != nullptr)
      json += "," + number(button.id);
  }
  json += "]";
  json += ",\"buttons\":[";
  for (const ButtonLayout& button : WindowButtons()) {
    if (button.id != kFirstButton)
      json += ",";
    json += "[" + number(button.id) + "," + number(button.left) + "," + number(button.top) + "," +
            number(button.width) + "," + number(button.height) + "," + JsonString(button.tooltip) +
            "]";
  }
  return json + "]}";
}

WebShell::WebShell(std::chrono::milliseconds dialogTimeout) : dialogTimeout_(dialogTimeout) {}

void WebShell::Publish(const WindowLook& look) {
  std::string event = EventBlock("state", WindowLookJson(look));
  std::lock_guard<std::mutex> lock(mutex_);
  lookEvent_ = event;
  frame_ = PublishedFrame{look.frame, look.frameSequence};
  stream_.Broadcast(event);
}

PublishedFrame WebShell::CurrentFrame() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return frame_;
}

std::vector<std::string> WebShell::CurrentEvents() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> events;
  if (!lookEvent_.empty())
    events.push_back(lookEvent_);
  if (splashUp_)
    events.push_back(splashEvent_);
  for (const auto& [id, pending] : pending_)
    events.push_back(pending.event);
  return events;
}

void WebShell::WhenViewed(std::function<void()> action) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stream_.clientCount() == 0) {
      whenViewed_ = std::move(action);
      return;
    }
  }
  action();
}

std::shared_ptr<EventStream::Client> WebShell::ConnectPage() {
  std::vector<std::string> events = CurrentEvents();
  events.push_back(EventBlock("layout", WindowLayoutJson()));
  auto client = stream_.Connect(std::move(events));
  if (client == nullptr)
    return client;
  std::function<void()> action;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    action.swap(whenViewed_);
  }
  if (action)
    action();
  return client;
}

std::optional<ShellInput> WebShell::Ask(const std::string& kind, const std::string& fields,
                                        const std::string& logText) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (shutdown_ || closing_ || stream_.clientCount() == 0) {
    std::fprintf(stderr, "drivesentinel: %s (no window open: %s)\n", logText.c_str(),
                 kind == "message" ? "shown to nobody" : "answered with its default");
    return std::nullopt;
  }
  int id = nextDialogId_++;
  std::string json = "{\"id\":" + std::to_string(id) + ",\"kind\":" + JsonString(kind) +
                     (fields.empty() ? "" : "," + fields) + "}";
  Pending& pending = pending_[id];
  pending.event = EventBlock("dialog", json);
  stream_.Broadcast(pending.event);
  bool done = answered_.wait_for(lock, dialogTimeout_, [&] {
    return shutdown_ || closing_ || pending_[id].reply.has_value();
  });
  std::optional<ShellInput> reply = pending_[id].reply;
  pending_.erase(id);
  // Every page closes its copy of the dialog, whoever answered.
  stream_.Broadcast(EventBlock("dialog-close", "{\"id\":" + std::to_string(id) + "}"));
  if (!done) {
    std::fprintf(stderr, "drivesentinel: %s (no answer: default taken)\n", logText.c_str());
  }
  return reply;
}

bool WebShell::Answer(const ShellInput& answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = pending_.find(answer.id);
  if (it == pending_.end() || it->second.reply.has_value())
    return false;
  it->second.reply = answer;
  answered_.notify_all();
  return true;
}

void WebShell::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
  Ask("message",
      "\"text\":" + JsonString(text) + ",\"caption\":" + JsonString(caption) + ",\"icon\":" +
          JsonString(icon == MessageIcon::kExclamation ? "exclamation"
                     : icon == MessageIcon::kProgram   ? "program"
                                                       : ""),
      caption + ": " + text);
}

bool WebShell::AskYesNo(const std::string& text, const std::string& caption) {
  auto reply = Ask("yesno",
                   "\"text\":" + JsonString(text) + ",\"caption\":" + JsonString(caption) +
                       ",\"icon\":\"exclamation\"",
                   caption + ": " + text);
  return reply && reply->answer == "yes";
}

bool WebShell::AskPassword(std::string* code) {
  auto reply =
      Ask("password", "\"caption\":\"Norvik DriveSentinel\",\"text\":\"Please enter password\"",
          "password question");
  if (!reply || reply->answer != "ok")
    return false;
  *code = reply->text;
  return true;
}

AutorunAnswer WebShell::AskAutorun() {
  auto reply = Ask("autorun",
                   "\"caption\":\"Norvik autorun setting\","
                   "\"text\":\"Always start this program at system startup\"",
                   "autorun question");
  AutorunAnswer answer;
  if (!reply || reply->answer != "ok")
    return answer;
  answer.ok = true;
  answer.yes = reply->choiceYes;
  answer.doNotAskAgain = reply->check;
  return answer;
}

void WebShell::ShowSplash(int seconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (seconds <= 0 || shutdown_ || closing_)
    return;
  splashUp_ = true;
  splashEvent_ = EventBlock("splash", "{\"seconds\":" + std::to_string(seconds) + "}");
  stream_.Broadcast(splashEvent_);
  answered_.wait_for(lock, std::chrono::seconds(seconds),
                     [&] { return !splashUp_ || shutdown_ || closing_; });
  splashUp_ = false;
  stream_.Broadcast(EventBlock("splash-end", "{}"));
}

void WebShell::CloseSplash() {
  std::lock_guard<std::mutex> lock(mutex_);
  splashUp_ = false;
  answered_.notify_all();
}

void WebShell::OfferDownload(const std::string& dataFile, const std::string& fileName) {
  stream_.Broadcast(EventBlock("download", "{\"url\":" + JsonString("/data/" + dataFile) +
                                               ",\"name\":" + JsonString(fileName) + "}"));
}

void WebShell::OpenInNewTab(const std::string& address) {
  stream_.Broadcast(EventBlock("open-tab", "{\"url\":" + JsonString(address) + "}"));
}

void WebShell::RunMailTestDialog(const std::function<void(const MailTestView& view)>& test) {
  auto fields = [](const MailTestLabel& label) {
    return "\"text\":" + JsonString(label.text) + ",\"red\":" + (label.red ? "true" : "false") +
           ",\"closeVisible\":" + (label.closeVisible ? "true" : "false");
  };
  int id = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shutdown_ || closing_ || stream_.clientCount() == 0) {
      id = -1;
    } else {
      id = nextDialogId_++;
      Pending& pending = pending_[id];
      pending.event = EventBlock("dialog", "{\"id\":" + std::to_string(id) +
                                               ",\"kind\":\"mailtest\",\"caption\":\"Email "
                                               "Test\"," +
                                               fields(MailTestLabel{"", false, false}) + "}");
      stream_.Broadcast(pending.event);
    }
  }
  // The label follows the test; a page that connects later gets the latest state.
  test([this, id, &fields](const MailTestLabel& label) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (id < 0) {
      std::fprintf(stderr, "drivesentinel: e-mail test: %s\n", label.text.c_str());
      return;
    }
    auto it = pending_.find(id);
    if (it == pending_.end())
      return;
    const std::string json = "{\"id\":" + std::to_string(id) +
                             ",\"kind\":\"mailtest\",\"caption\":\"Email Test\"," + fields(label) +
                             "}";
    it->second.event = EventBlock("dialog", json);
    stream_.Broadcast(EventBlock("dialog-update", json));
  });
  if (id < 0)
    return;
  std::unique_lock<std::mutex> lock(mutex_);
  answered_.wait_for(lock, dialogTimeout_,
                     [&] { return shutdown_ || closing_ || pending_[id].reply.has_value(); });
  pending_.erase(id);
  stream_.Broadcast(EventBlock("dialog-close", "{\"id\":" + std::to_string(id) + "}"));
}

void WebShell::CancelDialogs() {
  std::lock_guard<std::mutex> lock(mutex_);
  closing_ = true;
  answered_.notify_all();
}

void WebShell::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shutdown_ = true;
    answered_.notify_all();
  }
  stream_.Shutdown();
}

}  // namespace ds
