#include "monitor/monitor_loop.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/file_system.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

using std::chrono::hours;
using std::chrono::milliseconds;

// A window whose selected disk runs hot.
class FakeWindow : public MonitorWindow {
 public:
  FakeWindow() {
    AlertSettings& a = view.alert;
    a.EnableAlert = 1, a.Above = "60", a.From = "a@x", a.To = "b@y", a.Host = "h", a.Port = "25";
    a.Id = "i", a.Passwd = "p";
    view.active_rec = 1;
    view.drive.emplace().model = "QRA-X50 hot", view.drive->serial = "S1";
    view.drives = {*view.drive};
    view.historyStart = {2026, 1, 1, 100};
  }
  void ReloadAlertSettings() override { ++reloads; }
  void TakeInPageInputs() override { ++polls; }
  MonitorView View() override { return view; }
  void PublishReading(const DriveRecord&, const SmartSnapshot& snapshot) override {
    view.smart = snapshot;
  }
  void Minimize() override { ++minimized; }

  MonitorView view;
  int reloads = 0, polls = 0, minimized = 0;
};

// Disks that read `smart`, failing while `failReads` > 0; asleep ones are not asked.
class FakeDrives : public DriveService {
 public:
  FakeDrives() { smart.temperature = 61, smart.attr167Raw = 300, smart.modelSeries = 0; }
  DriveList RefreshDriveList(const MessageSink&) override { return {}; }
  DiskRead Read(const DriveRecord&, const AttributeTable&, SmartSnapshot* snapshot, WakeDisk wake,
                const MessageSink&) override {
    if (asleep && wake == WakeDisk::kNo)
      return DiskRead::kAsleep;
    ++reads;
    if (failReads > 0)
      return --failReads, DiskRead::kUnread;
    *snapshot = smart;
    return DiskRead::kRead;
  }
  SmartSnapshot smart;
  int reads = 0, failReads = 0;
  bool asleep = false;
};

// A mail program that writes its success line; a fake clock moved by the test.
struct Monitor {
  explicit Monitor(std::string refreshBy, int refreshByType) {
    window.view.alert.RefreshBy = std::move(refreshBy);
    window.view.alert.RefreshByType = refreshByType;
    std::filesystem::create_directories(home.path() + "data");
    ReplaceFileAtomically(mailer,
                          "#!/bin/sh\ncat > /dev/null\necho 'Mail sent.' > '" + result + "'\n",
                          FileAccess::kShared, nullptr);
    ::chmod(mailer.c_str(), 0755);
  }
  TempFolder home;
  std::string mailer = home.path() + "CSmtp.exe", result = home.path() + "mail.txt";
  FakeWindow window;
  FakeDrives drives;
  std::vector<std::string> log;
  WallClock::time_point now = WallClock::from_time_t(1780000000);
  int waits = 0;
  MailChannel mail{mailer, result, [](milliseconds) {}, [](std::string_view) {}};
  MetricsBoard board{"1.1"};
  MonitorLoop loop{window,
                   drives,
                   mail,
                   ProgramRoots(home.path()),
                   MonitorTiming{},
                   [this](std::string_view line) { log.emplace_back(line); },
                   [this] { return now; },
                   [this](milliseconds, std::stop_token) { return ++waits, true; },
                   &board};
};

TEST(MonitorLoopTest, AMailPerReArmPeriod) {
  // Refresh by, its type, each later pass's time (first: 2026-05-28), the mails sent.
  const std::tuple<const char*, int, std::vector<hours>, std::uint64_t> cases[] = {
      {"0", kRefreshByDay, {hours(0), hours(0)}, 3},  // re-armed on every pass
      {"1", kRefreshByDay, {hours(1), hours(23), hours(24)}, 1},
      {"1", kRefreshByDay, {hours(1), hours(24), hours(25), hours(26)}, 2},
      {"1", kRefreshByMonth, {hours(24 * 27), hours(24 * 28)}, 1},  // May 28 to June 25
      {"1", kRefreshByMonth, {hours(24 * 32), hours(24 * 33)}, 2},  // month edges: ReArmDue's test
  };
  for (const auto& [refreshBy, type, passes, mails] : cases) {
    Monitor m(refreshBy, type);
    const WallClock::time_point start = m.now;
    m.loop.Pass({});
    for (hours at : passes) {
      m.now = start + at;
      m.loop.Pass({});
    }
    EXPECT_EQ(std::tuple(m.loop.alertMails(), m.loop.passes(), m.window.polls + m.window.reloads),
              std::tuple(mails, passes.size() + 1, 2 * static_cast<int>(passes.size() + 1)))
        << refreshBy << " by type " << type;
  }
}

TEST(MonitorLoopTest, HistoryAfterAGoodReadOnly) {
  Monitor m("1", kRefreshByDay);
  m.window.view.alert.EnableAlert = 0, m.drives.failReads = 1;
  const std::string folder = m.home.path() + "data/QRA-X50 hot_S1/";
  std::filesystem::create_directories(folder);
  m.loop.Pass({});  // the read fails: nothing is recorded
  EXPECT_FALSE(std::filesystem::exists(folder + "record.dat"));
  m.loop.Pass({});
  EXPECT_TRUE(FileExists(folder + "record.dat"));
  std::filesystem::remove(folder + "record.dat");
  std::filesystem::create_directory(folder + "record.dat");  // the year line cannot be written
  m.loop.Pass({});
  ASSERT_EQ(m.log.size(), 1u);
  EXPECT_EQ(m.log[0].rfind("cannot write the history file " + folder + "record.dat: ", 0), 0u);
  m.window.view.drive->model = "Other disk", m.drives.reads = 0;  // not series 0: no history
  m.loop.Pass({});
  EXPECT_EQ(m.drives.reads, 1);  // the metrics' read only
  EXPECT_FALSE(std::filesystem::exists(m.home.path() + "data/Other disk_S1"));
}

TEST(MonitorLoopTest, AnUnreadableDiskIsTriedThenSkippedAndLogged) {
  Monitor m("0", kRefreshByDay);
  m.window.view.active_rec = 0;
  m.window.view.alert.Under = "70";  // fires after the rule "above 60": the mail tells it
  m.drives.failReads = 99;           // the 100th attempt reads
  m.loop.Pass({});
  // The metrics take the alert step's reading: no read of their own.
  EXPECT_EQ(std::tuple(m.drives.reads, m.waits, m.loop.alertMails()), std::tuple(100, 99, 1u));
  EXPECT_EQ(m.log.at(0),
            "alert mail handed to the mailer: DUT's temperature value is under 70 "
            "Celsius (Current is 61).");
  m.drives.failReads = 1000, m.drives.reads = 0;
  m.loop.Pass({});
  EXPECT_EQ(std::tuple(m.drives.reads, m.loop.alertMails()), std::tuple(100, 1u));
  EXPECT_NE(m.log.back().find("could not be read after 100 attempts"), std::string::npos);
}

// Every kept disk read once a pass, shared by the history, the alert rules and the metrics;
// a sleeping one left asleep with its last reading.
TEST(MonitorLoopTest, MetricsOfEveryPass) {
  Monitor m("1", kRefreshByDay);
  std::filesystem::create_directories(m.home.path() + "data/QRA-X50 hot_S1");
  std::ofstream(m.home.path() + "data/QRA-X50 hot_S1/record_init.dat")
      << "start_date_year=2025\nstart_date_month=5\nstart_date_day=28\navg_erase_count=100\n";
  const std::string labels = "{drive=\"-1\",model=\"QRA-X50 hot\",serial=\"S1\"}";
  const std::string drive = "drivesentinel_drive_";
  for (bool asleep : {false, true}) {
    m.drives.asleep = asleep;
    m.drives.smart.temperature = asleep ? 20 : 61;  // 20 would be read if it were woken
    m.loop.Pass({});
    const std::string text = m.board.PrometheusText();
    for (const std::string& line :
         {drive + "temperature_celsius" + labels + " 61", drive + "read_success" + labels + " 1",
          drive + "health_ratio" + labels + " 0.90000000000000002",
          drive + "lifespan_remaining_seconds" + labels + " " + std::to_string(4927LL * 86400),
          drive + "asleep" + labels + (asleep ? " 1" : " 0"),
          "drivesentinel_monitor_passes_total " + std::string(asleep ? "2" : "1"),
          std::string("drivesentinel_alert_mails_total 1")}) {
      EXPECT_NE(text.find(line + "\n"), std::string::npos) << line << "\n" << text;
    }
  }
  EXPECT_EQ(m.drives.reads, 1);  // one read for all three; the sleeping disk not at all
}

TEST(MonitorLoopTest, MinimizesALogonStartAndStopsPromptlyInsideAWait) {
  Monitor m("0", kRefreshByDay);
  m.window.view.autostartLaunch = 1;
  // Real waits: the first pass after 10 ms, the next one a minute later.
  MonitorLoop real(m.window, m.drives, m.mail, ProgramRoots(m.home.path()),
                   MonitorTiming{milliseconds(60000), 100}, {});
  std::jthread thread([&real](std::stop_token stop) { real.Run(stop); });
  for (int i = 0; i < 500 && real.passes() == 0; ++i)
    std::this_thread::sleep_for(milliseconds(10));
  ASSERT_EQ(real.passes(), 1u);
  EXPECT_EQ(m.window.minimized, 1);
  const auto asked = std::chrono::steady_clock::now();
  thread.request_stop();
  thread.join();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, milliseconds(900));
}

}  // namespace
}  // namespace ds
