#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "web/event_stream.h"
#include "web/held_view.h"
#include "web/shell_input.h"
#include "web/window_shell.h"

// The window played by shell pages in a browser: the look goes out on the event stream,
// modal dialogs wait for the first page that answers, and a page that connects later is
// brought up to date (look, open dialogs, splash). Every open page sees the same window.
namespace ds {

class WebShell : public WindowShell {
 public:
  // `dialogTimeout`: how long a modal dialog waits for an answer before its safe default.
  explicit WebShell(std::chrono::milliseconds dialogTimeout = std::chrono::minutes(5));

  void Publish(const WindowLook& look) override;
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  bool AskPassword(std::string* code) override;
  AutorunAnswer AskAutorun() override;
  void WhenViewed(std::function<void()> action) override;
  void ShowSplash(int seconds) override;
  void OfferDownload(const std::string& dataFile, const std::string& fileName) override;
  void OpenInNewTab(const std::string& address) override;
  void RunMailTestDialog(const std::function<void(const MailTestView& view)>& test) override;

  // From the HTTP threads: a dialog answer (false for an unknown or finished dialog) and
  // the splash's Close button.
  bool Answer(const ShellInput& answer);
  void CloseSplash();

  EventStream& stream() { return stream_; }
  // Connects a page to the event stream, brought up to date (CurrentEvents) and given the
  // window's layout, and runs what waited for a viewer. nullptr when the stream takes no more
  // pages.
  std::shared_ptr<EventStream::Client> ConnectPage();
  // Events that bring a newly connected page up to date.
  std::vector<std::string> CurrentEvents() const;
  // The frame of the last published look, for the held views of the server.
  PublishedFrame CurrentFrame() const;

  // The window is closing: open and later dialogs take their default at once and the
  // splash ends; the streams stay open for the last events.
  void CancelDialogs();

  // Ends every open dialog with its default and the streams after their last events.
  void Shutdown();

 private:
  struct Pending {
    std::string event;
    std::optional<ShellInput> reply;
  };
  // Shows a dialog and waits; nullopt on timeout, shutdown or with no page connected.
  std::optional<ShellInput> Ask(const std::string& kind, const std::string& fields,
                                const std::string& logText);

  const std::chrono::milliseconds dialogTimeout_;
  EventStream stream_;
  mutable std::mutex mutex_;
  std::condition_variable answered_;
  std::string lookEvent_;
  PublishedFrame frame_;
  std::map<int, Pending> pending_;
  int nextDialogId_ = 1;
  bool splashUp_ = false;
  std::string splashEvent_;
  std::function<void()> whenViewed_;
  bool shutdown_ = false;
  bool closing_ = false;
};

// The window look as the JSON object of a "state" event.
std::string WindowLookJson(const WindowLook& look);

// The window's geometry from the page registry as the JSON object of a "layout" event, which
// ends the events that bring a new page up to date: the buttons ([id, left, top, width, height,
// tooltip]), the ids of those whose click opens a view ("views": Home and the tabs), the
// browser's origin and the program icon of the skin, in window pixels.
std::string WindowLayoutJson();

}  // namespace ds
