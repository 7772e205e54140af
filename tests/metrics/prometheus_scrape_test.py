#!/usr/bin/python3
"""A real Prometheus scrapes the program on the sample machine: the exporter's text passes
`promtool check metrics`, Prometheus loads the shipped alert rules, and its query API holds
the first sample drive's health, lifespan and temperature series.
usage: prometheus_scrape_test.py PATH-TO-drivesentinel PATH-TO-alert-rules"""
import json, os, shutil, signal, socket, subprocess, sys, tempfile, time, urllib.parse
import urllib.request

PROGRAM, RULES = sys.argv[1], os.path.abspath(sys.argv[2])
SERIAL = "QRA50C2208150042"  # the sample machine's first drive, half-way through its cycles


def free_port():
    with socket.socket() as probe:
        return probe.bind(("127.0.0.1", 0)) or probe.getsockname()[1]


def fetch(url):
    with urllib.request.urlopen(url, timeout=5) as answer:
        return answer.read().decode()


def eventually(get, limit=60):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        try:
            value = get()
            if value:
                return value
        except OSError:
            pass
        time.sleep(0.5)
    return None


work = tempfile.mkdtemp(prefix="ds-prometheus-")
metrics_port, prometheus_port = free_port(), free_port()
home = os.path.join(work, "home")
os.makedirs(home)
program = subprocess.Popen([PROGRAM, "--demo", "--home", home, "--headless", "--monitor-period", "1",
                            "--metrics-listen", "127.0.0.1:%d" % metrics_port],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
prometheus = None
failures = []
try:
    metrics_url = "http://127.0.0.1:%d/metrics" % metrics_port
    text = eventually(lambda: (lambda t: t if SERIAL in t else None)(fetch(metrics_url))) or ""
    check = subprocess.run(["promtool", "check", "metrics"], input=text, text=True,
                           capture_output=True)
    if SERIAL not in text or check.returncode != 0:
        failures.append("the exporter's text, checked by promtool: " + check.stdout + check.stderr)
    with open(os.path.join(work, "prometheus.yml"), "w") as config:
        config.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                     "rule_files:\n  - %s\n"
                     "scrape_configs:\n  - job_name: drivesentinel\n    static_configs:\n"
                     "      - targets: ['127.0.0.1:%d']\n" % (RULES, metrics_port))
    prometheus = subprocess.Popen(
        ["prometheus", "--config.file=" + os.path.join(work, "prometheus.yml"),
         "--storage.tsdb.path=" + os.path.join(work, "tsdb"),
         "--web.listen-address=127.0.0.1:%d" % prometheus_port],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    api = "http://127.0.0.1:%d/api/v1/" % prometheus_port

    def value(metric):
        query = urllib.parse.quote('%s{serial="%s"}' % (metric, SERIAL))
        result = json.loads(fetch(api + "query?query=" + query))["data"]["result"]
        return float(result[0]["value"][1]) if result else None

    for metric, wanted in [("drivesentinel_drive_health_ratio", lambda v: v == 0.5),
                           ("drivesentinel_drive_temperature_celsius", lambda v: v == 38),
                           # a year of history, half-way: two years to go
                           ("drivesentinel_drive_lifespan_remaining_seconds",
                            lambda v: abs(v - 730 * 86400) <= 2 * 86400)]:
        got = eventually(lambda: value(metric))
        ok = got is not None and wanted(got)
        print("%s %s = %s" % ("ok  " if ok else "FAIL", metric, got))
        if not ok:
            failures.append(metric)
    rules = json.loads(fetch(api + "rules"))["data"]["groups"]
    names = sorted(rule["name"] for group in rules for rule in group["rules"])
    print("rules loaded: %s" % ", ".join(names))
    if len(names) < 4:
        failures.append("the shipped alert rules did not load")
finally:
    for process in (prometheus, program):
        if process:
            process.send_signal(signal.SIGTERM)
            process.wait(timeout=30)
    shutil.rmtree(work, ignore_errors=True)
for failure in failures:
    print("FAIL", failure)
sys.exit(1 if failures else 0)
