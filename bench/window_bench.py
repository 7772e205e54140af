#!/usr/bin/python3
"""Figures of the running window, measured on the demo machine:

  memory  resident size idle, and after 100 and 400 report-tab views (a click on one of
          the four report tabs, the page build, and the browser's load of the page)
  load    with 200 idle and 16 slow-head connections open: the median time of 20 shell
          requests, and how long the program takes to exit on SIGTERM

usage: bench/window_bench.py PATH/TO/drivesentinel [memory|load]...
"""
import http.client
import os
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

READY = re.compile(r"^Norvik DriveSentinel: http://127\.0\.0\.1:(\d+)/([0-9a-f]{32})/$", re.M)
# The four report tabs and the page each shows.
TABS = [(1005, "disk_info_"), (1006, "HealthPage_"), (1007, "SMARTPage.html"),
        (1009, "SystemPage.html")]


class Program:
    """The program on the demo machine with a home folder of its own."""

    def __init__(self, executable):
        self.home = tempfile.mkdtemp(prefix="ds-bench-")
        shutil.copytree(os.path.join(os.path.dirname(executable), "data"),
                        os.path.join(self.home, "data"))
        with open(os.path.join(self.home, "Norvik_DriveSentinel.ini"), "w") as ini:
            ini.write("Loading_Time=1\nPE_Cycle_Limit=3000\n")
        self.process = subprocess.Popen(
            [executable, "--demo", "--headless", "--port", "0", "--home", self.home],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        line = self.process.stdout.readline()
        match = READY.match(line.strip())
        if not match:
            raise RuntimeError("no address line: " + line)
        self.port = int(match.group(1))
        self.root = "/" + match.group(2) + "/"

    def resident_kib(self):
        with open("/proc/%d/status" % self.process.pid) as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return -1

    def get(self, path, connection=None):
        own = connection is None
        connection = connection or http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        connection.request("GET", self.root + path)
        response = connection.getresponse()
        body = response.read()
        if own:
            connection.close()
        return response.status, body

    def click(self, button, connection):
        connection.request("POST", self.root + "data/.input", "type=button&id=%d" % button,
                           {"Content-Type": "application/x-www-form-urlencoded"})
        response = connection.getresponse()
        response.read()
        return response.status

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(timeout=30)
        shutil.rmtree(self.home, ignore_errors=True)


class Events:
    """The window's event stream, read on a thread of its own; keeps the latest state and
    answers every dialog with its safe default."""

    ANSWERS = {"message": "ok", "yesno": "no"}

    def __init__(self, program):
        self.program = program
        self.connection = http.client.HTTPConnection("127.0.0.1", program.port, timeout=60)
        self.connection.request("GET", program.root + "ui/events")
        self.response = self.connection.getresponse()
        self.state = ""
        self.previous = ""
        self.changed = threading.Condition()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for raw in self.response:
            line = raw.decode("utf-8", "replace")
            if line.startswith("data: {\"page\""):
                with self.changed:
                    self.state = line
                    self.changed.notify_all()
            dialog = re.match(r'data: \{"id":(\d+),"kind":"(\w+)"', line)
            if dialog and self.previous.startswith("event: dialog\n"):
                answer = self.ANSWERS.get(dialog.group(2), "cancel")
                connection = http.client.HTTPConnection("127.0.0.1", self.program.port, timeout=10)
                connection.request("POST", self.program.root + "data/.input",
                                   "type=dialog&id=%s&answer=%s" % (dialog.group(1), answer),
                                   {"Content-Type": "application/x-www-form-urlencoded"})
                connection.getresponse().read()
                connection.close()
            self.previous = line

    def wait(self, predicate, limit=30):
        with self.changed:
            if not self.changed.wait_for(lambda: predicate(self.state), timeout=limit):
                raise RuntimeError("the window did not get there: " + self.state[:200])
            return self.state


def frame_of(state):
    match = re.search(r'"frame":"/data/([^"?]*)"', state)
    return match.group(1) if match else ""


def memory(executable):
    program = Program(executable)
    try:
        events = Events(program)
        events.wait(lambda s: '"windowShown":true' in s)
        time.sleep(1)
        print("memory: resident size idle: %.1f MB" % (program.resident_kib() / 1024))
        connection = http.client.HTTPConnection("127.0.0.1", program.port, timeout=30)
        started = time.monotonic()
        for view in range(1, 401):
            button, page = TABS[(view - 1) % len(TABS)]
            sequence = re.search(r'"frameSequence":(\d+)', events.state)
            before = int(sequence.group(1)) if sequence else -1
            if program.click(button, connection) != 204:
                raise RuntimeError("a tab click was refused")
            state = events.wait(lambda s: frame_of(s).startswith(page) and
                                int(re.search(r'"frameSequence":(\d+)', s).group(1)) > before)
            status, _ = program.get("data/" + frame_of(state), connection)
            if page == "SMARTPage.html":
                program.get("data/SMARTInfo.html", connection)
                program.get("data/SMART_ID_Info.html", connection)
            if status != 200:
                raise RuntimeError("the page %s was not served" % frame_of(state))
            if view in (100, 400):
                print("memory: resident size after %d tab views: %.1f MB (%.1f s)" %
                      (view, program.resident_kib() / 1024, time.monotonic() - started))
        connection.close()
    finally:
        program.stop()


def load(executable):
    program = Program(executable)
    try:
        idle = [socket.create_connection(("127.0.0.1", program.port)) for _ in range(200)]
        slow = [socket.create_connection(("127.0.0.1", program.port)) for _ in range(16)]
        host = "Host: 127.0.0.1:%d\r\n" % program.port
        for one in slow:
            one.sendall(("GET %s HTTP/1.1\r\n%s" % (program.root, host)).encode())
        stop = threading.Event()

        def trickle():
            line = 0
            while not stop.wait(2):
                for one in slow:
                    try:
                        one.sendall(b"X-Line-%d: 1\r\n" % line)
                    except OSError:
                        pass
                line += 1

        threading.Thread(target=trickle, daemon=True).start()
        times = []
        for _ in range(20):
            started = time.monotonic()
            status, _ = program.get("")
            times.append((time.monotonic() - started) * 1000)
            if status != 200:
                raise RuntimeError("the shell was not served")
        print("load: GET of the shell with 200 idle and 16 slow connections open: median "
              "%.1f ms, max %.1f ms (20 requests)" % (statistics.median(times), max(times)))
        started = time.monotonic()
        program.process.send_signal(signal.SIGTERM)
        program.process.wait(timeout=60)
        print("load: SIGTERM to exit with those connections open: %.2f s" %
              (time.monotonic() - started))
        stop.set()
        for one in idle + slow:
            one.close()
    finally:
        program.stop()


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    runs = sys.argv[2:] or ["memory", "load"]
    for run in runs:
        {"memory": memory, "load": load}[run](sys.argv[1])
    return 0


if __name__ == "__main__":
    sys.exit(main())
