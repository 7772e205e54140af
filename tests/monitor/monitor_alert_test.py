#!/usr/bin/python3
"""The monitor end to end: one alert mail a day, today's history, a prompt SIGTERM. usage: monitor_alert_test.py PROGRAM"""

import email, email.policy, glob, logging, os, shutil, signal, socket, subprocess, sys
import tempfile, time, unittest

from aiosmtpd.controller import Controller

PROGRAM = None
DEMO_DISK = os.path.join(os.path.dirname(__file__), "..", "..", "data", "sim", "demo", "0-qra-x50")
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
        smart = bytearray(open(os.path.join(disk, "smart.bin"), "rb").read())
        for at in [2 + 12 * slot for slot in range(30) if smart[2 + 12 * slot] == 194]:
            smart[at + 5] = 61
        settings = {"EnableAlert": 1, "TemperatureType": 0, "EnableSSL": 0, "Above": "60",
                    "RefreshBy": "1", "RefreshByType": 0, "From": "monitor@example.com",
                    "To": "ops@example.com, oncall@example.com", "Host": "127.0.0.1",
                    "Port": str(port), "Id": "monitor", "Passwd": "pw"}
        for path, content in [
                (disk + "/smart.bin", bytes(smart)), (disk + "/description.dat", b"bus_type=11\n"),
                (self.home + "/data/setting_tool_page.dat",
                 "".join("%s=%s\r\n" % item for item in settings.items()).encode()),
                (self.home + "/data/setting.dat", b"Disk_Sel=0\r\nactive_rec=1\r\nhealth_display_type=0\r\n")]:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            open(path, "wb").write(content)

    def test_one_mail_per_period_and_history(self):
        process = subprocess.Popen([PROGRAM, "--sim", self.machine, "--home", self.home,
                                    "--headless", "--port", "0", "--monitor-period", "1"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(process.kill)  # nothing once it has ended
        deadline = time.monotonic() + 30
        while not Recorder.mails and time.monotonic() < deadline:
            time.sleep(0.1)
        time.sleep(4)  # several more passes inside the one-day period
        process.send_signal(signal.SIGTERM)
        process.wait(timeout=5)  # TimeoutExpired: SIGTERM took too long
        self.assertEqual(len(Recorder.mails), 1)
        mail = Recorder.mails[0]
        got = (mail["Subject"], [a.addr_spec for a in mail["To"].addresses], mail.get_content().splitlines()[:5])
        self.assertEqual(got, ("Norvik DriveSentinel warning message", ["ops@example.com", "oncall@example.com"],
                               ["Model Name: QRA-X50 256GB SATA SSD", "Serial Number: QRA50C2208150042",
                                "Firmware Version: S0911A0", " ", ALERT]))
        today = time.localtime()
        day_files = glob.glob(os.path.join(self.home, "data", "*", "record_%d_%d.dat" % today[:2]))
        self.assertEqual(len(day_files), 1, "no history for this month")
        self.assertIn("%d_%d_%d=1500" % today[:3], open(day_files[0]).read())


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    unittest.main()
