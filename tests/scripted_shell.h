#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "web/window_shell.h"

namespace ds {

// A window shell for tests: records what it shows, answers dialogs from queued replies or safely.
class ScriptedShell : public WindowShell {
 public:
  void Publish(const WindowLook& look) override {
    Add(looks, look);
    published_.notify_all();
  }
  // Waits (bounded) until the window shows what `wanted` looks for; false when it never did.
  bool WaitFor(const std::function<bool(const WindowLook&)>& wanted) {
    std::unique_lock<std::mutex> lock(mutex_);
    return published_.wait_for(lock, std::chrono::seconds(10),
                               [&] { return !looks.empty() && wanted(looks.back()); });
  }
  bool WaitForFrame(const std::string& frame) {
    return WaitFor([&frame](const WindowLook& look) { return look.frame == frame; });
  }
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
    static const char* const kIcons[] = {"", " [!]", " [icon]"};  // by MessageIcon
    Add(messages, caption + ": " + text + kIcons[static_cast<int>(icon)]);
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    Add(questions, caption + ": " + text);
    return Next(yesNoReplies, false);
  }
  bool AskPassword(std::string* code) override {
    *code = Next(passwordReplies, std::string(kCancel));
    return *code != kCancel;
  }
  AutorunAnswer AskAutorun() override {
    Add(events, std::string("autorun-question"));
    return Next(autorunReplies, AutorunAnswer{});
  }
  // Nothing views the window until Connect (or `viewed` is set).
  void WhenViewed(std::function<void()> action) override {
    if (viewed)
      return action();
    whenViewed_ = std::move(action);
  }
  void Connect() {
    viewed = true;
    if (auto action = std::exchange(whenViewed_, {}))
      action();
  }
  void ShowSplash(int seconds) override { Add(events, "splash " + std::to_string(seconds)); }
  void OfferDownload(const std::string& dataFile, const std::string& fileName) override {
    Add(downloads, dataFile + " as " + fileName);
  }
  void OpenInNewTab(const std::string& address) override { Add(opened, address); }
  void RunMailTestDialog(const std::function<void(const MailTestView& view)>& test) override {
    test([](const MailTestLabel&) {});
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
  WindowLook last() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return looks.empty() ? WindowLook{} : looks.back();
  }

  static constexpr const char* kCancel = "\001cancel";
  std::vector<WindowLook> looks;
  std::vector<std::string> messages, questions, downloads, opened, events;
  std::deque<std::string> passwordReplies;
  std::deque<AutorunAnswer> autorunReplies;
  std::deque<bool> yesNoReplies;  // none left: No
  bool viewed = false;

 private:
  template <typename T>
  void Add(std::vector<T>& list, const T& item) {
    std::lock_guard<std::mutex> lock(mutex_);
    list.push_back(item);
  }
  template <typename T>
  T Next(std::deque<T>& replies, const T& fallback) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (replies.empty())
      return fallback;
    T reply = replies.front();
    replies.pop_front();
    return reply;
  }
  mutable std::mutex mutex_;
  std::condition_variable published_;
  std::function<void()> whenViewed_;
};

}  // namespace ds
