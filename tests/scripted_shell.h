#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "web/window_shell.h"

namespace ds {

// A window shell for tests: records what the program shows and answers its dialogs from
// queued replies (the safe default when none is queued).
class ScriptedShell : public WindowShell {
 public:
  void Publish(const WindowLook& look) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      looks.push_back(look);
    }
    published_.notify_all();
  }
  // Waits (bounded) until the window shows what `wanted` looks for; false when it never did.
  bool WaitFor(const std::function<bool(const WindowLook&)>& wanted,
               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return published_.wait_for(lock, limit, [&] { return !looks.empty() && wanted(looks.back()); });
  }
  bool WaitForFrame(const std::string& frame) {
    return WaitFor([&frame](const WindowLook& look) { return look.frame == frame; });
  }
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages.push_back(caption + ": " + text + (icon == MessageIcon::kExclamation ? " [!]" : ""));
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    std::lock_guard<std::mutex> lock(mutex_);
    questions.push_back(caption + ": " + text);
    if (yesNoReplies.empty())
      return false;
    bool reply = yesNoReplies.front();
    yesNoReplies.pop_front();
    return reply;
  }
  bool AskPassword(std::string* code) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++passwordQuestions;
    if (passwordReplies.empty())
      return false;
    std::string reply = passwordReplies.front();
    passwordReplies.pop_front();
    if (reply == kCancel)
      return false;
    *code = reply;
    return true;
  }
  AutorunAnswer AskAutorun() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++autorunQuestions;
    events.push_back("autorun-question");
    if (autorunReplies.empty())
      return {};
    AutorunAnswer reply = autorunReplies.front();
    autorunReplies.pop_front();
    return reply;
  }
  void ShowSplash(int seconds) override {
    std::lock_guard<std::mutex> lock(mutex_);
    events.push_back("splash " + std::to_string(seconds));
  }
  void OfferDownload(const std::string& dataFile, const std::string& fileName) override {
    std::lock_guard<std::mutex> lock(mutex_);
    downloads.push_back(dataFile + " as " + fileName);
  }
  void OpenInNewTab(const std::string& address) override {
    std::lock_guard<std::mutex> lock(mutex_);
    opened.push_back(address);
  }

  // The pages the browser was sent to, in order.
  std::vector<std::string> Navigations() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> pages;
    std::uint64_t sequence = 0;
    for (const WindowLook& look : looks) {
      if (look.frameSequence != sequence)
        pages.push_back(look.frame);
      sequence = look.frameSequence;
    }
    return pages;
  }
  std::vector<std::string> Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages;
  }

  void RunMailTestDialog(const std::function<void(const MailTestView& view)>& test) override {
    test([this](const MailTestLabel& label) {
      std::lock_guard<std::mutex> lock(mutex_);
      mailTestLabels.push_back(label);
    });
    std::lock_guard<std::mutex> lock(mutex_);
    events.push_back("mail-test closed");
  }

  WindowLook last() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return looks.empty() ? WindowLook{} : looks.back();
  }

  static constexpr const char* kCancel =
      "\x01"
      "cancel";
  std::vector<WindowLook> looks;
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  std::vector<std::string> downloads;
  std::vector<std::string> opened;
  std::vector<std::string> events;
  std::vector<MailTestLabel> mailTestLabels;
  int passwordQuestions = 0;
  int autorunQuestions = 0;
  std::deque<bool> yesNoReplies;
  std::deque<std::string> passwordReplies;
  std::deque<AutorunAnswer> autorunReplies;

 private:
  mutable std::mutex mutex_;
  std::condition_variable published_;
};

}  // namespace ds
