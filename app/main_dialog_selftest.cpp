// The self-test buttons of the S.M.A.R.T. page: MainDialog's part of starting, watching and
// aborting an off-line self-test. The disk commands go through the drive service on a worker.
#include <condition_variable>
#include <mutex>

#include "app/main_dialog.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

// The question before an extended test, with the disk it is about.
std::string ExtendedTestQuestion(const DriveRecord& drive, int minutes) {
  return "An extended self-test reads the whole disk in the background and takes about " +
         std::to_string(minutes) +
         " minutes; the disk stays in use meanwhile, a little slower. Start it?\nDisk: " +
         std::string(TrimBoth(drive.model)) + ", serial " + drive.serial;
}

}  // namespace

void MainDialog::StartSelfTest(SelfTestKind kind) {
  const WindowState state = CopyState();
  const DriveRecord* drive = state.SelectedDrive();
  if (drive == nullptr || services_.drives == nullptr) {
    shell_->ShowMessage("No disk is selected.", "Error Message", MessageIcon::kExclamation);
    return;
  }
  if (kind == SelfTestKind::kExtended &&
      !shell_->AskYesNo(
          ExtendedTestQuestion(*drive, state.smart.selfTestCapability.extendedMinutes), "Warning"))
    return;
  const int driveNumber = drive->driveNumber;
  const std::string serial = drive->serial;
  StartSelfTestWorker(
      [this, driveNumber, serial, kind](std::stop_token stop) {
        SelfTestThread(stop, driveNumber, serial, kind);
      },
      false);
}

void MainDialog::FollowSelfTest(const DriveRecord& drive) {
  StartSelfTestWorker([this, driveNumber = drive.driveNumber, serial = drive.serial](
                          std::stop_token stop) { WatchSelfTest(stop, driveNumber, serial); },
                      true);
}

void MainDialog::StartSelfTestWorker(std::function<void(std::stop_token)> body, bool onlyWhenIdle) {
  std::lock_guard<std::mutex> slot(selfTestSlot_);
  if (closed() || (onlyWhenIdle && !selfTestDone_))
    return;
  if (selfTestThread_.joinable()) {
    selfTestThread_.request_stop();
    selfTestThread_.join();
  }
  selfTestDone_ = false;
  selfTestThread_ = std::jthread([this, body = std::move(body)](std::stop_token stop) {
    body(stop);
    selfTestDone_ = true;
  });
}

void MainDialog::SelfTestThread(std::stop_token stop, int driveNumber, const std::string& serial,
                                SelfTestKind kind) {
  // The drive layer checks the disk again (busy, asleep, its serial, a test running) and
  // says why it sent nothing.
  const SelfTestOutcome outcome = services_.drives->SelfTest(driveNumber, serial, kind);
  if (services_.log)
    services_.log("self-test of disk " + std::to_string(driveNumber) + ": " + outcome.message);
  bool running = false;
  if (ShowsSelfTestOf(driveNumber, serial, &running))
    RequestPage(kPageSmart, FindPage(kPageSmart)->steps, false);  // the page tells the test's state
  const bool started = outcome.result == SelfTestResult::kStarted;
  shell_->ShowMessage(outcome.message, started ? kProgramCaption : "Error Message",
                      started ? MessageIcon::kNone : MessageIcon::kExclamation);
  if (started && kind != SelfTestKind::kAbort)
    WatchSelfTest(stop, driveNumber, serial);
}

bool MainDialog::ShowsSelfTestOf(int driveNumber, const std::string& serial, bool* running) {
  MutexLock lock(mutex_);
  const DriveRecord* drive = state_.SelectedDrive();
  *running = state_.smart.selfTestExecution.running();
  return state_.currentPage == kPageSmart && drive != nullptr &&
         drive->driveNumber == driveNumber && drive->serial == serial;
}

void MainDialog::WatchSelfTest(std::stop_token stop, int driveNumber, const std::string& serial) {
  // While the test runs, the page is read again now and then; not while the window shows
  // another page or disk, and no more once a read after the last request says it ended.
  const unsigned steps = FindPage(kPageSmart)->steps;
  std::uint64_t readsAtRequest = smartReads_;
  bool running = false;
  std::mutex waitMutex;
  std::condition_variable_any wake;
  std::unique_lock<std::mutex> waiting(waitMutex);
  while (!stop.stop_requested()) {
    static_cast<void>(
        wake.wait_for(waiting, stop, services_.selfTestRefresh, [] { return false; }));
    if (stop.stop_requested() || !ShowsSelfTestOf(driveNumber, serial, &running))
      continue;
    if (!running && smartReads_ > readsAtRequest)
      return;
    readsAtRequest = smartReads_;
    RequestPage(kPageSmart, steps, false);
  }
}

}  // namespace ds
