#!/usr/bin/python3
"""The monitor end to end: the program runs on a simulated machine whose selected disk reads
61 degrees, with alerts on above 60 and the mail account pointing at a real SMTP server
(aiosmtpd) on loopback, and passes every second (--monitor-period 1). Exactly one mail arrives
while the re-arm period (one day) runs; with RefreshBy 0 the next pass mails again; the
history of today is recorded; SIGTERM ends the program promptly.
usage: monitor_alert_test.py PATH-TO-drivesentinel"""

import email, email.policy, glob, logging, os, shutil, signal, socket, subprocess, sys
import tempfile, time, unittest, warnings

from aiosmtpd.controller import Controller

PROGRAM = None
DEMO_DISK = os.path.join(os.path.dirname(__file__), "..", "..", "data", "sim", "demo", "0-qra-x50")
ALERT = "DUT's temperature value is above 60 Celsius (Current is 61)."


class Recorder:
    def __init__(self):
        self.mails = []

    async def handle_DATA(self, server, session, envelope):
        self.mails.append(email.message_from_bytes(envelope.original_content,
                                                   policy=email.policy.default))
        return "250 2.0.0 Queued"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for(condition, limit):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.1)
    return condition()


class MonitorAlertTest(unittest.TestCase):
    def setUp(self):
        logging.getLogger("mail.log").setLevel(logging.CRITICAL)
        warnings.simplefilter("ignore")
        self.work = tempfile.mkdtemp(prefix="ds-monitor-")
        self.recorder = Recorder()
        self.server = Controller(self.recorder, hostname="127.0.0.1", port=free_port())
        self.server.start()
        machine = os.path.join(self.work, "machine")
        disk = os.path.join(machine, "0-hot")
        shutil.copytree(DEMO_DISK, disk)
        with open(os.path.join(disk, "description.dat"), "w") as description:
            description.write("bus_type=11\n")  # no volumes: only the temperature rule
        smart = bytearray(open(os.path.join(disk, "smart.bin"), "rb").read())
        for slot in range(30):
            if smart[2 + 12 * slot] == 194:
                smart[2 + 12 * slot + 5] = 61
        open(os.path.join(disk, "smart.bin"), "wb").write(smart)
        self.machine = machine

    def tearDown(self):
        self.server.stop()
        shutil.rmtree(self.work, ignore_errors=True)

    def run_program(self, refresh_by):
        home = tempfile.mkdtemp(dir=self.work)
        os.makedirs(os.path.join(home, "data"))
        settings = {"EnableAlert": 1, "TemperatureType": 0, "EnableSSL": 0, "Above": "60",
                    "RefreshBy": refresh_by, "RefreshByType": 0, "From": "monitor@example.com",
                    "To": "ops@example.com, oncall@example.com", "Host": "127.0.0.1",
                    "Port": str(self.server.port), "Id": "monitor", "Passwd": "pw"}
        with open(os.path.join(home, "data", "setting_tool_page.dat"), "w") as out:
            out.write("".join("%s=%s\r\n" % item for item in settings.items()))
        with open(os.path.join(home, "data", "setting.dat"), "w") as out:
            out.write("Disk_Sel=0\r\nactive_rec=1\r\nhealth_display_type=0\r\n")
        process = subprocess.Popen([PROGRAM, "--sim", self.machine, "--home", home, "--headless",
                                    "--port", "0", "--monitor-period", "1"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        return home, process

    def stop(self, process):
        started = time.monotonic()
        process.send_signal(signal.SIGTERM)
        try:
            _, errors = process.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            self.fail("the program did not end within 10 s of SIGTERM")
        return time.monotonic() - started, errors.decode(errors="replace")

    def test_one_mail_per_period_and_history(self):
        home, process = self.run_program("1")
        try:
            self.assertTrue(wait_for(lambda: len(self.recorder.mails) >= 1, 30), "no alert mail")
            time.sleep(4)  # several more passes inside the one-day period
            self.assertEqual(len(self.recorder.mails), 1)
        finally:
            seconds, log = self.stop(process)
        mail = self.recorder.mails[0]
        self.assertEqual(mail["Subject"], "Norvik DriveSentinel warning message")
        self.assertIn("ops@example.com", mail["To"])
        self.assertIn("oncall@example.com", mail["To"])
        lines = [line for line in mail.get_content().splitlines()]
        self.assertEqual(lines[:5], ["Model Name: QRA-X50 256GB SATA SSD",
                                     "Serial Number: QRA50C2208150042", "Firmware Version: S0911A0",
                                     " ", ALERT])
        self.assertIn("alert mail handed to the mailer: " + ALERT, log)
        today = time.localtime()
        day_files = glob.glob(os.path.join(home, "data", "*",
                                           "record_%d_%d.dat" % (today.tm_year, today.tm_mon)))
        self.assertEqual(len(day_files), 1, "no history for this month")
        self.assertIn("%d_%d_%d=1500" % (today.tm_year, today.tm_mon, today.tm_mday),
                      open(day_files[0]).read())
        self.assertLess(seconds, 5, "SIGTERM took %.1f s" % seconds)

    def test_refresh_by_zero_mails_on_the_next_pass(self):
        _, process = self.run_program("0")
        try:
            self.assertTrue(wait_for(lambda: len(self.recorder.mails) >= 2, 30),
                            "only %d mail(s)" % len(self.recorder.mails))
        finally:
            self.stop(process)


if __name__ == "__main__":
    PROGRAM = sys.argv.pop(1)
    unittest.main()
