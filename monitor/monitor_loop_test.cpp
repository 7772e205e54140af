#include "monitor/monitor_loop.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "platform/file_system.h"
#include "platform/network_names.h"
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

// The window's disks, reading `smart`, failing while `failReads` > 0 (serial "dead": always);
// asleep ones are not asked. A serial in `cool` reads 40 degrees.
class FakeDrives : public DriveService {
 public:
  explicit FakeDrives(const std::vector<DriveRecord>& kept) : kept(kept) {
    smart.temperature = 61, smart.attr167Raw = 300, smart.modelSeries = 0;
  }
  DriveList RefreshDriveList(const MessageSink&) override {
    DriveList list;
    list.drives = kept;
    return list;
  }
  DiskRead Read(const DriveRecord& drive, const AttributeTable&, SmartSnapshot* snapshot,
                WakeDisk wake, const MessageSink&) override {
    if (asleep && wake == WakeDisk::kNo)
      return DiskRead::kAsleep;
    ++reads;
    if (failReads > 0 || drive.serial == "dead")
      return --failReads, DiskRead::kUnread;
    *snapshot = smart;
    snapshot->temperature = cool.contains(drive.serial) ? 40 : smart.temperature;
    return DiskRead::kRead;
  }
  std::string DiskKey(int number) override { return "/dev/sd" + std::to_string(number); }
  SelfTestOutcome SelfTest(int, const std::string&, SelfTestKind kind) override {
    ++selfTests[kind];
    return {SelfTestResult::kStarted, 2, "started"};
  }
  const std::vector<DriveRecord>& kept;
  std::map<SelfTestKind, int> selfTests;
  SmartSnapshot smart;
  std::set<std::string> cool;
  int reads = 0, failReads = 0;
  bool asleep = false;
};

// A mail program that writes its success line; a fake clock moved by the test.
struct Monitor {
  explicit Monitor(std::string refreshBy, int refreshByType) {
    window.view.alert.RefreshBy = std::move(refreshBy);
    window.view.alert.RefreshByType = refreshByType;
    std::filesystem::create_directories(home.path() + "data");
    ReplaceFileAtomically(
        mailer, "#!/bin/sh\ncat >> '" + sent + "'\necho 'Mail sent.' > '" + result + "'\n",
        FileAccess::kShared, nullptr);
    ::chmod(mailer.c_str(), 0755);
  }
  TempFolder home;
  std::string mailer = home.path() + "CSmtp.exe", result = home.path() + "mail.txt";
  std::string sent = home.path() + "sent";
  FakeWindow window;
  FakeDrives drives{window.view.drives};
  std::vector<std::string> log;
  WallClock::time_point now = WallClock::from_time_t(1780000000);
  int waits = 0;
  MailChannel mail{mailer, result, {}, [](std::string_view) {}};  // real polls: the mails arrive
  MetricsBoard board{"1.1"};
  std::unique_ptr<MonitorLoop> Loop(std::vector<std::string> ignored = {},
                                    SystemConfig config = {}) {
    config.ignoredSerials = std::move(ignored);
    return std::make_unique<MonitorLoop>(
        window, drives, mail, ProgramRoots(home.path()), MonitorTiming{},
        [this](std::string_view line) { log.emplace_back(line); }, [this] { return now; },
        [this](milliseconds, std::stop_token) { return ++waits, true; }, &board, config);
  }
  std::unique_ptr<MonitorLoop> owned = Loop();
  MonitorLoop& loop = *owned;
};

TEST(MonitorLoopTest, AMailPerReArmPeriod) {
  // Refresh by, its type, each later pass's time (first: 2026-05-28), the mails sent.
  const std::tuple<const char*, int, std::vector<hours>, std::uint64_t> cases[] = {
      {"0", kRefreshByDay, {hours(0), hours(0)}, 3},              // re-armed on every pass
      {"1", kRefreshByDay, {hours(1), hours(23), hours(24)}, 2},  // the period ends at 24 h
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

// A hot disk runs the alert hook as smartd runs its "-M exec" program: with the Tool page's
// addresses "-s SUBJECT ADDRESS..." and the message on standard input, without them nothing
// and /dev/null; the SMARTD_* variables and nothing else inherited.
TEST(MonitorLoopTest, AHotDiskRunsTheAlertHookAsSmartdWould) {
  Monitor m("1", kRefreshByDay);
  m.window.view.drive->firmware = "~F\tW1", m.window.view.drives = {*m.window.view.drive};
  const std::string hook = m.home.path() + "hook", out = m.home.path() + "run.";
  ReplaceFileAtomically(
      hook,
      "#!/bin/sh\nn=" + out + "$SMARTD_PREVCNT\nfor a; do printf '%s\\n' \"$a\"; done > $n.args\n" +
          "if [ /dev/stdin -ef /dev/null ]; then echo null; else cat; fi > $n.in\n" +
          "env -0 > $n.env\n",
      FileAccess::kOwnerOnly, nullptr);
  ::chmod(hook.c_str(), 0700);
  AlertExec exec(hook, [&m](std::string_view line) { m.log.emplace_back(line); },
                 {milliseconds(20000), 65536, ::getuid()});
  m.loop.SetAlertExec(&exec);
  const std::string host = MachineFqdn(),
                    subject = "Norvik DriveSentinel warning message (Temperature) on host " + host;
  const std::string full =
      "Model Name: QRA-X50 hot\nSerial Number: S1\nFirmware Version: FW1\nDevice: /dev/sd-1 on "
      "host " +
      host + "\n\nDUT's temperature value is above 60 Celsius (Current is 61).\n\n";
  const std::string next = "No further message about it for 1 days.\n";
  // Each run: its To field, arguments, input, SMARTD_ADDRESS, PREVCNT and its end of message.
  const std::tuple<std::string, std::string, std::string, std::string, const char*, std::string>
      runs[] = {{"b@y, -oQueueDirectory=/x, c@z", "-s\n" + subject + "\nb@y\nc@z\n", full + next,
                 "b@y c@z", "0", next},
                {"", "", "null\n", "", "1", "This problem was first reported at "}};
  for (const auto& [to, args, input, address, count, end] : runs) {
    m.window.view.alert.To = to;
    m.loop.Pass({});
    m.now += hours(24);
    std::string got[3], message, mailed;
    EXPECT_TRUE(ReadWholeFile(m.sent, 1 << 20, &mailed, &message));  // the mail goes too
    for (int i = 0; i < 3; ++i)
      ReadWholeFile(out + count + std::array{".args", ".in", ".env"}[i], 1 << 20, &got[i],
                    &message);
    std::map<std::string, std::string> env;
    for (std::size_t at = 0, end0; (end0 = got[2].find('\0', at)) != std::string::npos;
         at = end0 + 1) {
      const std::string item = got[2].substr(at, end0 - at);
      env[item.substr(0, item.find('='))] = item.substr(item.find('=') + 1);
    }
    for (const char* shells : {"PWD", "SHLVL", "_", "OLDPWD"})
      env.erase(shells);
    EXPECT_EQ(got[0], args);
    EXPECT_EQ(got[1], input);
    EXPECT_NE(env["SMARTD_FULLMESSAGE"].find(full), std::string::npos);
    EXPECT_NE(env["SMARTD_FULLMESSAGE"].find(end), std::string::npos);
    EXPECT_EQ(env["SMARTD_TFIRST"].empty(), false);
    env.erase("SMARTD_FULLMESSAGE"), env.erase("SMARTD_TFIRST");
    std::map<std::string, std::string> want = {
        {"PATH", "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"},
        {"LANG", "C"},
        {"SMARTD_MAILER", hook},
        {"SMARTD_DEVICE", "/dev/sd-1"},
        {"SMARTD_DEVICETYPE", "auto"},
        {"SMARTD_DEVICESTRING", "/dev/sd-1 [SAT]"},
        {"SMARTD_DEVICEINFO", "QRA-X50 hot, S/N:S1, FW:FW1"},
        {"SMARTD_FAILTYPE", "Temperature"},
        {"SMARTD_MESSAGE", "DUT's temperature value is above 60 Celsius (Current is 61)."},
        {"SMARTD_TFIRSTEPOCH", "1780000000"},
        {"SMARTD_PREVCNT", count},
        {"SMARTD_NEXTDAYS", "1"},
        {"SMARTD_SUBJECT", subject}};
    if (!address.empty())
      want["SMARTD_ADDRESS"] = address;
    EXPECT_EQ(env, want);
  }
  EXPECT_EQ(
      std::count(m.log.begin(), m.log.end(), "alert hook " + hook + " about /dev/sd-1: exit 0"), 2);
  EXPECT_NE(std::find(m.log.begin(), m.log.end(),
                      "alert hook " + hook +
                          " about /dev/sd-1: the address \"-oQueueDirectory=/x\" is not passed"),
            m.log.end());
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
  m.window.view.drives = {*m.window.view.drive};
  m.loop.Pass({});
  EXPECT_EQ(m.drives.reads, 1);  // the metrics' read only
  EXPECT_FALSE(std::filesystem::exists(m.home.path() + "data/Other disk_S1"));
  // With a valid endurance indicator it keeps the indicator's own history.
  m.drives.smart.modelSeries = 99;
  m.drives.smart.deviceStatistics.emplace().values = {{DeviceStatisticId::kPercentageUsed, 7}};
  m.loop.Pass({});
  const std::string start = ReadTextFile(m.home.path() + "data/Other disk_S1/record_init.dat");
  EXPECT_TRUE(start.find("percentage_used=7\r\n") != std::string::npos &&
              start.find("source=endurance") != std::string::npos)
      << start;
  // A year of growth from 1 to 7 points: its metrics project a lifespan as its pages do.
  std::ofstream(m.home.path() + "data/Other disk_S1/record_init.dat")
      << "start_date_year=2025\nstart_date_month=5\nstart_date_day=28\npercentage_used=1\n"
         "source=endurance\n";
  m.loop.Pass({});
  EXPECT_NE(m.board.PrometheusText().find("drivesentinel_drive_lifespan_remaining_seconds{"
                                          "drive=\"-1\",device=\"sd-1\",model=\"Other disk\""),
            std::string::npos)
      << m.board.PrometheusText();
}

TEST(MonitorLoopTest, AnUnreadableDiskIsTriedThenSkippedAndLogged) {
  Monitor m("0", kRefreshByDay);
  m.window.view.active_rec = 0;
  m.window.view.alert.Under = "70";  // fires after the rule "above 60": the mail tells both
  m.drives.failReads = 99;           // the 100th attempt reads
  m.loop.Pass({});
  // The metrics take the alert step's reading: no read of their own.
  EXPECT_EQ(std::tuple(m.drives.reads, m.waits, m.loop.alertMails()), std::tuple(100, 99, 1u));
  EXPECT_EQ(
      m.log.at(0),
      "alert mail about /dev/sd-1 handed to the mailer: DUT's temperature value is above 60 "
      "Celsius (Current is 61).\nDUT's temperature value is under 70 Celsius (Current is 61).");
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
  const std::string labels = "{drive=\"-1\",device=\"sd-1\",model=\"QRA-X50 hot\",serial=\"S1\"}";
  const std::string drive = "drivesentinel_drive_";
  m.drives.smart.selfTestExecution.state = 7;  // the last self-test failed reading
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
          drive + "selftest_state" + labels + " 7", drive + "alert_firing" + labels + " 1",
          drive + "alert_silenced" + labels + " 1",
          "drivesentinel_monitor_passes_total " + std::string(asleep ? "2" : "1"),
          std::string("drivesentinel_alert_mails_total 1")}) {
      EXPECT_NE(text.find(line + "\n"), std::string::npos) << line << "\n" << text;
    }
  }
  EXPECT_EQ(m.drives.reads, 1);  // one read for all three; the sleeping disk not at all
}

// Four disks: S1 hot, S2 cool, S3 hot but ignored, "dead" unreadable. Each hot watched disk
// gets one mail with its own identity; a restart inside the period sends nothing; a reset of
// the states is seen at the next pass.
TEST(MonitorLoopTest, EveryDiskWatchedOnItsOwn) {
  Monitor m("1", kRefreshByDay);
  const auto disk = [](int number, const char* serial) {
    DriveRecord drive;
    drive.driveNumber = number, drive.model = "QRA-X50 hot", drive.serial = serial;
    drive.firmware = std::string("FW") + serial;
    return drive;
  };
  m.window.view.drives = {disk(0, "S1"), disk(1, "S2"), disk(2, "S3"), disk(3, "dead")};
  m.window.view.drive = m.window.view.drives[1];
  m.drives.cool = {"S2"};
  std::unique_ptr<MonitorLoop> loop = m.Loop({"S3"});
  loop->Pass({});
  // One read each; the dead disk a read and three retries, 3 s apart.
  EXPECT_EQ(std::tuple(m.drives.reads, m.waits, loop->alertMails()), std::tuple(7, 3, 1u));
  std::string sent;
  ASSERT_TRUE(ReadWholeFile(m.sent, 1 << 16, &sent, nullptr));
  for (const char* line : {"Model Name: QRA-X50 hot", "Serial Number: S1", "Firmware Version: FWS1",
                           "Device: /dev/sd0 on host "})
    EXPECT_NE(sent.find(line), std::string::npos) << line << "\n" << sent;
  EXPECT_EQ(sent.find("S3"), std::string::npos);
  EXPECT_TRUE(FileExists(m.home.path() + "data/QRA-X50 hot_S1/record.dat"));
  EXPECT_FALSE(std::filesystem::exists(m.home.path() + "data/QRA-X50 hot_S3"));
  EXPECT_NE(std::find(m.log.begin(), m.log.end(),
                      "disk /dev/sd3 (QRA-X50 hot dead) could not be read after 4 attempts; no "
                      "alert rule was checked"),
            m.log.end());
  m.now += hours(1), m.drives.cool.clear();  // S2 runs hot too
  loop = m.Loop({"S3"});                     // a restart
  loop->Pass({});
  EXPECT_EQ(loop->alertMails(), 1u);  // S2 only
  m.now += hours(1);
  loop->Pass({});
  EXPECT_EQ(loop->alertMails(), 1u);
  std::string message;
  ASSERT_TRUE(ClearDiskWatchAlerts(DiskStateFolder(m.home.path()), &message)) << message;
  loop->Pass({});
  EXPECT_EQ(loop->alertMails(), 3u);
}

// The schedule across a restart: the test runs once at its time; one missed while the
// program did not run is caught up once, 30 minutes after the start.
TEST(MonitorLoopTest, ScheduledSelfTestsRunOnceAndCatchUpOnce) {
  setenv("TZ", "UTC", 1);
  tzset();
  Monitor m("1", kRefreshByDay);
  m.drives.smart.selfTestCapability.supported = true;
  SystemConfig config;
  config.selfTestShort = "weekly Sun 03";
  const std::time_t sunday = 1796526000;  // 2026-12-06 03:00 UTC
  constexpr int kWeek = 7 * 1440;
  // Minutes from then; true: the program starts before that pass.
  const std::pair<int, bool> passes[] = {
      {-600, true},        {10, false},         {20, false},         {kWeek + 60, true},
      {kWeek + 89, false}, {kWeek + 90, false}, {kWeek + 100, false}};
  std::vector<int> started;
  std::unique_ptr<MonitorLoop> loop;
  for (const auto& [minute, restart] : passes) {
    m.now = WallClock::from_time_t(sunday + minute * 60);
    if (restart)
      loop = m.Loop({}, config);
    const int before = m.drives.selfTests[SelfTestKind::kShort];
    loop->Pass({});
    if (m.drives.selfTests[SelfTestKind::kShort] > before)
      started.push_back(minute);
  }
  EXPECT_EQ(started, (std::vector<int>{10, kWeek + 90}));
  EXPECT_NE(std::find(m.log.begin(), m.log.end(),
                      "scheduled short self-test of disk /dev/sd-1 (QRA-X50 hot S1): started"),
            m.log.end());
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
