#!/usr/bin/python3
"""The running demo window. memory: resident size idle and after 400 report-tab views; load: median
of 20 shell requests and SIGTERM exit time with 200 idle and 16 half-sent requests open; resident:
VmRSS after IDLE_SECONDS (default 60) of `--demo --headless`, and the peak of `report --demo`.
usage: [IDLE_SECONDS=N] bench/window_bench.py PATH/TO/drivesentinel [memory|load|resident]..."""
import http.client, os, re, shutil, signal, socket, statistics, subprocess, sys, tempfile
import threading, time

READY = re.compile(r"^Norvik DriveSentinel: http://127\.0\.0\.1:(\d+)/([0-9a-f]{32})/$")
TABS = [(1005, "disk_info_"), (1006, "HealthPage_"), (1007, "SMARTPage.html"), (1009, "SystemPage.html")]
FORM = {"Content-Type": "application/x-www-form-urlencoded"}


class Program:  # the program on the demo machine with a home folder of its own
    def __init__(self, executable):
        self.home = tempfile.mkdtemp(prefix="ds-bench-")
        shutil.copytree(os.path.join(os.path.dirname(executable), "data"), self.home + "/data")
        open(self.home + "/Norvik_DriveSentinel.ini", "w").write("Loading_Time=1\nPE_Cycle_Limit=3000\n")
        self.process = subprocess.Popen([executable, "--demo", "--headless", "--port", "0", "--home", self.home],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        match = READY.match(line := self.process.stdout.readline().strip())
        if not match:
            raise RuntimeError("no address line: " + line)
        self.port, self.root = int(match.group(1)), "/" + match.group(2) + "/"

    def resident_mb(self, field="VmRSS:"):
        with open("/proc/%d/status" % self.process.pid) as status:
            return next(int(l.split()[1]) for l in status if l.startswith(field)) / 1024

    def request(self, method, path, body=None, connection=None):
        own = connection or http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        own.request(method, self.root + path, body, FORM if body else {})
        response = own.getresponse()
        response.read()
        if connection is None:
            own.close()
        return response.status

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(timeout=30)
        shutil.rmtree(self.home, ignore_errors=True)


class Events:  # the event stream on a thread of its own: keeps the latest state, cancels dialogs
    def __init__(self, program):
        connection = http.client.HTTPConnection("127.0.0.1", program.port, timeout=60)
        connection.request("GET", program.root + "ui/events")
        self.response, self.program, self.state = connection.getresponse(), program, ""
        self.changed = threading.Condition()
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for raw in self.response:
            line = raw.decode("utf-8", "replace")
            if line.startswith('data: {"page"'):
                with self.changed:
                    self.state = line
                    self.changed.notify_all()
            if dialog := re.match(r'data: \{"id":(\d+),"kind":"(\w+)"', line):
                answer = {"message": "ok", "yesno": "no"}.get(dialog.group(2), "cancel")
                self.program.request("POST", "data/.input",
                                     "type=dialog&id=%s&answer=%s" % (dialog.group(1), answer))

    def wait(self, predicate):
        with self.changed:
            if not self.changed.wait_for(lambda: predicate(self.state), timeout=30):
                raise RuntimeError("the window did not get there: " + self.state[:200])
            return self.state


def number(pattern, state):
    return match.group(1) if (match := re.search(pattern, state)) else ""


def memory(executable):
    program = Program(executable)
    try:
        events = Events(program)
        events.wait(lambda s: '"windowShown":true' in s)
        time.sleep(1)
        print("memory: resident size idle: %.1f MB" % program.resident_mb())
        connection = http.client.HTTPConnection("127.0.0.1", program.port, timeout=30)
        started = time.monotonic()
        for view in range(400):
            button, page = TABS[view % len(TABS)]
            before = int(number(r'"frameSequence":(\d+)', events.state) or -1)
            if program.request("POST", "data/.input", "type=button&id=%d" % button, connection) != 204:
                raise RuntimeError("a tab click was refused")
            state = events.wait(lambda s: number(r'"frame":"/data/([^"?]*)"', s).startswith(page)
                                and int(number(r'"frameSequence":(\d+)', s)) > before)
            frame = number(r'"frame":"/data/([^"?]*)"', state)
            if program.request("GET", "data/" + frame, None, connection) != 200:
                raise RuntimeError("the page %s was not served" % frame)
        print("memory: resident size after 400 tab views: %.1f MB (%.1f s)" %
              (program.resident_mb(), time.monotonic() - started))
    finally:
        program.stop()


def load(executable):
    program = Program(executable)
    try:
        idle = [socket.create_connection(("127.0.0.1", program.port)) for _ in range(200)]
        slow = [socket.create_connection(("127.0.0.1", program.port)) for _ in range(16)]
        for one in slow:
            one.sendall(b"GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n" % (program.root.encode(), program.port))
        times = []
        for _ in range(20):
            started = time.monotonic()
            if program.request("GET", "") != 200:
                raise RuntimeError("the shell was not served")
            times.append((time.monotonic() - started) * 1000)
        print("load: GET of the shell with 200 idle and 16 slow connections open: median "
              "%.1f ms, max %.1f ms" % (statistics.median(times), max(times)))
        started = time.monotonic()
        program.process.send_signal(signal.SIGTERM)
        program.process.wait(timeout=60)
        print("load: SIGTERM to exit with those connections open: %.2f s" % (time.monotonic() - started))
        for one in idle + slow:
            one.close()
    finally:
        program.stop()


def resident(executable):  # IDLE_SECONDS in the environment, 60 when unset
    program = Program(executable)  # no --metrics-listen and no ini entry: metrics are off
    try:
        time.sleep(int(os.environ.get("IDLE_SECONDS", "60")))
        print("resident: idle: VmRSS %.1f MB, VmHWM %.1f MB" % (program.resident_mb(), program.resident_mb("VmHWM:")))
        # GNU time's own child: a child of this larger process would count the copy it was forked from.
        timed = subprocess.run(["/usr/bin/time", "-f", "%M", executable, "report", "--demo", "--home", program.home],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        print("resident: report --demo: peak (VmHWM) %.1f MB" % (int(timed.stderr.split()[-1]) / 1024))
    finally:
        program.stop()


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    for run in sys.argv[2:] or ["memory", "load", "resident"]:
        {"memory": memory, "load": load, "resident": resident}[run](sys.argv[1])
