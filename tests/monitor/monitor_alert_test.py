#!/usr/bin/python3
"""The monitor end to end: one alert mail a day per hot disk, each naming its own disk, today's history, a
prompt SIGTERM. usage: monitor_alert_test.py PROGRAM"""

import email, email.policy, glob, logging, os, re, shutil, signal, socket, subprocess, sys
import tempfile, time, unittest

from aiosmtpd.controller import Controller

PROGRAM = None
DEMO = os.path.join(os.path.dirname(__file__), "..", "..", "data", "sim", "demo")
DEMO_DISK = os.path.join(DEMO, "0-qra-x50")
ALERT = "DUT's temperature value is above 60 Celsius (Current is 61)."


class Recorder:
    mails = []

    async def handle_DATA(self, server, session, envelope):
        self.mails.append(email.message_from_bytes(envelope.original_content, policy=email.policy.default))
        return "250 2.0.0 Queued"


class MonitorAlertTest(unittest.TestCase):
    def setUp(self):
        logging.getLogger("mail.log").setLevel(logging.CRITICAL)
        self.work = tempfile.mkdtemp(prefix="ds-monitor-")
        with socket.socket() as probe:
            port = probe.bind(("127.0.0.1", 0)) or probe.getsockname()[1]
        self.server = Controller(Recorder(), hostname="127.0.0.1", port=port)
        self.server.start()
        self.addCleanup(self.server.stop)
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        # The sample drive at 61 degrees, without volumes: only the temperature rule can fire.
        self.machine, self.home = os.path.join(self.work, "machine"), os.path.join(self.work, "home")
        disk = os.path.join(self.machine, "0-hot")
        shutil.copytree(DEMO_DISK, disk)
        self.heat(disk, 61)
        settings = {"EnableAlert": 1, "TemperatureType": 0, "EnableSSL": 0, "Above": "60",
                    "RefreshBy": "1", "RefreshByType": 0, "From": "monitor@example.com",
                    "To": "ops@example.com, oncall@example.com", "Host": "127.0.0.1",
                    "Port": str(port), "Id": "monitor", "Passwd": "pw"}
        for path, content in [
                (disk + "/description.dat", b"bus_type=11\n"),
                (self.home + "/data/setting_tool_page.dat",
                 "".join("%s=%s\r\n" % item for item in settings.items()).encode()),
                (self.home + "/data/setting.dat", b"Disk_Sel=0\r\nactive_rec=1\r\nhealth_display_type=0\r\n")]:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            open(path, "wb").write(content)

    @staticmethod
    def heat(disk, celsius):  # the current value of attribute 194
        smart = bytearray(open(os.path.join(disk, "smart.bin"), "rb").read())
        for at in [2 + 12 * slot for slot in range(30) if smart[2 + 12 * slot] == 194]:
            smart[at + 5] = celsius
        open(os.path.join(disk, "smart.bin"), "wb").write(bytes(smart))

    def run_until(self, mails):
        Recorder.mails = []
        process = subprocess.Popen([PROGRAM, "--sim", self.machine, "--home", self.home,
                                    "--headless", "--port", "0", "--monitor-period", "1"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(process.kill)  # nothing once it has ended
        deadline = time.monotonic() + (30 if mails else 0)
        while len(Recorder.mails) < mails and time.monotonic() < deadline:
            time.sleep(0.1)
        time.sleep(4)  # several more passes inside the one-day period
        process.send_signal(signal.SIGTERM)
        process.wait(timeout=5)  # TimeoutExpired: SIGTERM took too long
        return [m.get_content().splitlines() for m in Recorder.mails]

    def test_one_mail_per_period_and_history(self):
        bodies = self.run_until(1)
        self.assertEqual(len(bodies), 1)
        mail = Recorder.mails[0]
        got = (mail["Subject"], [a.addr_spec for a in mail["To"].addresses], bodies[0][:3], bodies[0][4:6])
        self.assertEqual(got, ("Norvik DriveSentinel warning message", ["ops@example.com", "oncall@example.com"],
                               ["Model Name: QRA-X50 256GB SATA SSD", "Serial Number: QRA50C2208150042",
                                "Firmware Version: S0911A0"], [" ", ALERT]))
        self.assertRegex(bodies[0][3], r"^Device: 0-hot on host \S+$")
        today = time.localtime()
        day_files = glob.glob(os.path.join(self.home, "data", "*", "record_%d_%d.dat" % today[:2]))
        self.assertEqual(len(day_files), 1, "no history for this month")
        self.assertIn("%d_%d_%d=1500" % today[:3], open(day_files[0]).read())

        self.assertEqual(self.run_until(1), [], "a restart inside the period mailed again")

    def test_a_failed_self_test_mails_once(self):
        # A short test runs at power-on and fails at LBA 123456 some reads later: the first
        # pass sets the baseline, a later one finds the failed entry in the self-test log.
        disk = os.path.join(self.machine, "0-hot")
        self.heat(disk, 40)
        smart = bytearray(open(disk + "/smart.bin", "rb").read())
        smart[363] = 0xF9
        open(disk + "/smart.bin", "wb").write(bytes(smart))
        open(disk + "/description.dat", "a").write("self_test_percent_per_read=5\nself_test_fail_lba=123456\n")
        bodies = self.run_until(1)
        self.assertEqual([b[5:] for b in bodies], [["DUT's self-test failed (Completed: read failure, LBA 123456)."]])

    def test_each_hot_disk_of_four_mails_about_itself(self):
        shutil.rmtree(self.machine)
        identities = {}
        for name in sorted(os.listdir(DEMO))[:4]:
            disk = os.path.join(self.machine, name)
            shutil.copytree(os.path.join(DEMO, name), disk)
            lines = open(disk + "/description.dat").read().splitlines(True)
            open(disk + "/description.dat", "w").write("".join(l for l in lines if "volume" not in l))
            self.heat(disk, 61 if name[0] in "03" else 35)
            words = open(disk + "/identify.bin", "rb").read()
            ata = lambda first, count: bytes(
                words[2 * first + i ^ 1] for i in range(2 * count)).decode().strip()
            identities[name] = ["Model Name: " + ata(27, 20), "Serial Number: " + ata(10, 10),
                                "Firmware Version: " + ata(23, 4)]
        bodies = sorted(self.run_until(2))
        self.assertEqual([b[:3] for b in bodies], [identities["0-qra-x50"], identities["3-other-ssd"]])
        self.assertEqual([re.sub(r"^Device: (\S+) on host \S+$", r"\1", b[3]) for b in bodies],
                         ["0-qra-x50", "3-other-ssd"])


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    unittest.main()
