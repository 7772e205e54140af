#!/usr/bin/python3
"""The exporter scraped as Prometheus does and checked by promtool, listening on every address:
it warns, and answers to this machine's names only. usage: prometheus_scrape_test.py PROGRAM"""
import re, shutil, signal, socket, subprocess, sys, tempfile, time, urllib.error, urllib.request

PROMETHEUS_ACCEPT = ("application/openmetrics-text;version=1.0.0,application/openmetrics-text;"
                     "version=0.0.1;q=0.75,text/plain;version=0.0.4;q=0.5,*/*;q=0.1")
SERIAL = "QRA50C2208150042"  # the sample machine's first drive, half-way through its cycles
with socket.socket() as probe:
    port = probe.bind(("127.0.0.1", 0)) or probe.getsockname()[1]
home = tempfile.mkdtemp(prefix="ds-prometheus-")
log = tempfile.TemporaryFile("w+")
program = subprocess.Popen([sys.argv[1], "--demo", "--home", home, "--headless", "--monitor-period",
                            "1", "--metrics-listen", ":%d" % port],
                           stdout=subprocess.DEVNULL, stderr=log)
METRICS = [("drivesentinel_drive_health_ratio", lambda v: v == 0.5),
           ("drivesentinel_drive_temperature_celsius", lambda v: v == 38),  # lifespan: a year of history, half-way
           ("drivesentinel_drive_lifespan_remaining_seconds", lambda v: abs(v - 730 * 86400) <= 2 * 86400)]


def value(text, metric):
    found = re.search(r'^%s\{[^}]*serial="%s"[^}]*\} (\S+)$' % (metric, SERIAL), text, re.M)
    return float(found.group(1)) if found else None


text, kind, failures = "", "", []
try:
    for _ in range(120):
        try:
            with urllib.request.urlopen(urllib.request.Request("http://127.0.0.1:%d/metrics" % port,
                                        headers={"Accept": PROMETHEUS_ACCEPT}), timeout=5) as answer:
                text, kind = answer.read().decode(), answer.headers.get("Content-Type", "")
        except OSError:
            pass
        if all(value(text, metric) is not None for metric, _ in METRICS):
            break
        time.sleep(0.5)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:  # an address of this machine
        address = probe.connect_ex(("192.0.2.1", 9)) == 0 and probe.getsockname()[0]
    for host, wanted in [(socket.gethostname(), 200), (address, 200), ("evil.example", 421)]:
        try:
            status = host and urllib.request.urlopen(urllib.request.Request(
                "http://127.0.0.1:%d/metrics" % port, headers={"Host": "%s:%d" % (host, port)}),
                timeout=5).status
        except urllib.error.HTTPError as refused:
            status = refused.code
        if host and status != wanted:
            failures.append("Host %s: %s, not %d" % (host, status, wanted))
finally:
    program.send_signal(signal.SIGTERM)
    program.wait(timeout=30)
    shutil.rmtree(home, ignore_errors=True)
log.seek(0)
said = log.read()
failures += ["no log line: " + line for line in ("warning: the metrics are reachable from other machines",
             'refused a request for Host "evil.example:%d"' % port) if line not in said]
check = subprocess.run(["promtool", "check", "metrics"], input=text, text=True, capture_output=True)
if check.returncode != 0 or not kind.startswith("text/plain; version=0.0.4"):
    failures.append("the exporter's text (%s), checked by promtool: %s" % (kind, check.stdout + check.stderr))
failures += ["%s = %s" % (metric, value(text, metric)) for metric, wanted in METRICS
             if value(text, metric) is None or not wanted(value(text, metric))]
print("\n".join("FAIL " + failure for failure in failures) or "all metrics as expected")
sys.exit(1 if failures else 0)
