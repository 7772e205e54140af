#!/usr/bin/python3
"""The exporter as a fleet uses it. A real Prometheus scrapes the demo machine: queries written for the
common S.M.A.R.T. exporter find its disks with that exporter's labels and the values `report --json` gives,
every query of our dashboard returns data, promtool passes the text and the rules, the listener answers to
this machine's names only. Then a hot disk reaches an Alertmanager webhook through the shipped rules.
usage: prometheus_scrape_test.py PROGRAM DASHBOARD RULES"""
import http.server, json, os, re, shutil, signal, socket, subprocess, sys, tempfile, threading, time
import urllib.error, urllib.parse, urllib.request

PROGRAM, DASHBOARD, RULES = sys.argv[1:4]
DEMO_DISK = os.path.join(os.path.dirname(__file__), "..", "..", "data", "sim", "demo", "0-qra-x50")
PROMETHEUS_ACCEPT = ("application/openmetrics-text;version=1.0.0,application/openmetrics-text;"
                     "version=0.0.1;q=0.75,text/plain;version=0.0.4;q=0.5,*/*;q=0.1")
DEVICE_LABELS = set("device interface protocol model_family model_name serial_number ata_additional_product_id "
                    "firmware_version ata_version sata_version form_factor scsi_vendor scsi_product scsi_revision "
                    "scsi_version instance job __name__".split())
if not shutil.which("prometheus"):
    print("SKIP: prometheus is not installed (scripts/install-deps.sh installs it)")
    sys.exit(77)


ports = [socket.socket() for _ in range(4)]  # four free ports, held together so they differ
demo_port, hot_port, prom_port, am_port = [p.bind(("127.0.0.1", 0)) or p.getsockname()[1] for p in ports]
[p.close() for p in ports]
work = tempfile.mkdtemp(prefix="ds-prometheus-")
failures, processes, hooked = [], [], []


def start(argv, name):
    log = open(os.path.join(work, name + ".log"), "w+")
    processes.append((subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=log), log))
    return log


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb" if isinstance(text, bytes) else "w").write(text)


class Hook(http.server.BaseHTTPRequestHandler):  # the Alertmanager webhook receiver
    log_message = lambda *_: None

    def do_POST(self):
        hooked.append((time.monotonic(), json.loads(self.rfile.read(int(self.headers["Content-Length"])))))
        self.send_response(200), self.end_headers()


hook = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Hook)
threading.Thread(target=hook.serve_forever, daemon=True).start()

# The demo machine, alerts on (mail to a closed port); a machine whose one disk is at 75 degrees.
write(work + "/home/data/setting_tool_page.dat", "EnableAlert=1\r\nTemperatureType=0\r\nAbove=60\r\n"
      "Host=127.0.0.1\r\nPort=9\r\nFrom=a@example.com\r\nTo=b@example.com\r\n")
shutil.copytree(DEMO_DISK, work + "/machine/0-hot")
smart = bytearray(open(work + "/machine/0-hot/smart.bin", "rb").read())
for at in [2 + 12 * slot for slot in range(30) if smart[2 + 12 * slot] == 194]:
    smart[at + 5] = 75
write(work + "/machine/0-hot/smart.bin", bytes(smart))
write(work + "/machine/0-hot/description.dat", "bus_type=11\n")
os.makedirs(work + "/hot-home")
rules = re.sub(r"for: \S+", "for: 0s", open(RULES).read())
write(work + "/rules.yml", rules)
write(work + "/alertmanager.yml", json.dumps({
    "route": {"receiver": "hook", "group_by": ["alertname", "serial"], "group_wait": "0s",
              "group_interval": "1s", "repeat_interval": "1h"},
    "receivers": [{"name": "hook", "webhook_configs": [{"url": "http://127.0.0.1:%d/" % hook.server_port}]}]}))
write(work + "/prometheus.yml", json.dumps({
    "global": {"scrape_interval": "1s", "evaluation_interval": "1s"},
    "rule_files": [work + "/rules.yml"],
    "alerting": {"alertmanagers": [{"static_configs": [{"targets": ["127.0.0.1:%d" % am_port]}]}]},
    "scrape_configs": [{"job_name": "drivesentinel", "static_configs": [
        {"targets": ["127.0.0.1:%d" % demo_port, "127.0.0.1:%d" % hot_port]}]}]}))
for check in [["check", "rules", RULES], ["check", "rules", work + "/rules.yml"],
              ["check", "config", work + "/prometheus.yml"]]:
    done = subprocess.run(["promtool"] + check, capture_output=True, text=True)
    if done.returncode != 0:
        failures.append("promtool %s: %s" % (" ".join(check), done.stdout + done.stderr))

alertmanager = shutil.which("prometheus-alertmanager") or shutil.which("alertmanager")
if alertmanager:
    start([alertmanager, "--config.file", work + "/alertmanager.yml", "--storage.path", work + "/am",
           "--web.listen-address", "127.0.0.1:%d" % am_port, "--cluster.listen-address", ""], "alertmanager")
else:
    print("SKIP the Alertmanager chain: prometheus-alertmanager is not installed (scripts/install-deps.sh)")
start(["prometheus", "--config.file", work + "/prometheus.yml", "--storage.tsdb.path", work + "/tsdb",
       "--web.listen-address", "127.0.0.1:%d" % prom_port], "prometheus")
demo_log = start([PROGRAM, "--demo", "--home", work + "/home", "--headless", "--port", "0",
                  "--monitor-period", "1", "--metrics-listen", ":%d" % demo_port], "demo")
chain_start = time.monotonic()
start([PROGRAM, "--sim", work + "/machine", "--home", work + "/hot-home", "--headless", "--port", "0",
       "--monitor-period", "1", "--metrics-listen", "127.0.0.1:%d" % hot_port], "hot")
DEMO = 'instance="127.0.0.1:%d"' % demo_port


def query(expr):
    url = "http://127.0.0.1:%d/api/v1/query?%s" % (prom_port, urllib.parse.urlencode({"query": expr}))
    try:
        with urllib.request.urlopen(url, timeout=5) as answer:
            return json.load(answer)["data"]["result"]
    except (OSError, ValueError, KeyError):
        return []


def by_serial(expr, *keys):  # the series joined to their disk's serial number, as a fleet does
    joined = "(%s) * on(instance, device) group_left(serial_number) smartctl_device{%s}" % (expr, DEMO)
    return {(r["metric"]["serial_number"], "/".join(r["metric"][k] for k in keys)): float(r["value"][1])
            for r in query(joined)}


hot_alert = lambda: [a for _, body in hooked for a in body["alerts"]
                     if a["labels"].get("alertname") == "DriveSentinelTemperatureHigh"]
ready = ["count(smartctl_device{%s}) == 4" % DEMO, "drivesentinel_drive_lifespan_remaining_seconds{%s}" % DEMO,
         "drivesentinel_drive_alert_firing{%s}" % DEMO, "drivesentinel_volume_free_bytes{%s}" % DEMO]
try:
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and not (all(query(q) for q in ready) and (hot_alert() or not alertmanager)):
        time.sleep(0.25)
    failures += ["not in Prometheus within a minute: " + q for q in ready if not query(q)]
    if alertmanager:
        labels = (hot_alert() or [{"labels": {}}])[0]["labels"]
        want = {"drive": "0", "device": "0-hot", "model": "QRA-X50 256GB SATA SSD", "serial": "QRA50C2208150042",
                "severity": "warning", "instance": "127.0.0.1:%d" % hot_port}
        if any(labels.get(k) != v for k, v in want.items()):
            failures.append("no webhook notification with the hot disk's labels: %s" % hooked)
        else:
            print("hot disk to the Alertmanager webhook in %.1f s" % (min(t for t, b in hooked) - chain_start))
    report = json.loads(subprocess.run([PROGRAM, "report", "--demo", "--json"], capture_output=True,
                                       text=True, check=True).stdout)
    disks = {d["serial"]: d for d in report["drives"]}
    logs = lambda name: [(s, d[name]) for s, d in disks.items() if d[name]]
    kinds = [("value", "current"), ("worst", "worst"), ("thresh", "threshold"), ("raw", "raw")]
    expected = [  # query, the labels that tell its series of one disk apart, the values by disk and labels
        ('smartctl_device_temperature{temperature_type="current"}', [], {(s, ""): d["temperature"] for s, d in disks.items()}),
        ('smartctl_device_attribute{attribute_id="194",attribute_value_type="raw"}', [],
         {(s, ""): a["raw"] for s, d in disks.items() for a in d["attributes"] if a["id"] == 194}),
        ("smartctl_device_attribute", ["attribute_id", "attribute_value_type"], {
            (s, "%d/%s" % (a["id"], kind)): a[key] for s, d in disks.items() for a in d["attributes"] for kind, key in kinds}),
        ("smartctl_device_smart_status", [], {(s, ""): d["smartStatusPassed"] for s, d in disks.items()}),
        ("smartctl_device_power_on_seconds", [], {(s, ""): d["powerOnHours"] * 3600 for s, d in disks.items()}),
        ("smartctl_device_power_cycle_count", [], {(s, ""): d["powerCycles"] for s, d in disks.items()}),
        ('smartctl_device_statistics{statistic_name="Percentage Used Endurance Indicator"}', [],
         {(s, ""): d["deviceStatistics"]["percentageUsed"] for s, d in disks.items() if d["deviceStatistics"]}),
        ("smartctl_device_error_log_count", ["error_log_type"], {(s, ["summary", "extended"][log["extended"]]):
                                                                 log["errorCount"] for s, log in logs("errorLog")}),
        ("smartctl_device_self_test_log_count", ["self_test_log_type"], {
            (s, ["standard", "extended"][log["extended"]]): len(log["entries"]) for s, log in logs("selfTestLog")}),
        ("smartctl_device_self_test_log_error_count", ["self_test_log_type"], {
            (s, ["standard", "extended"][log["extended"]]): sum(3 <= e["status"] >> 4 <= 8 for e in log["entries"])
            for s, log in logs("selfTestLog")})]
    expected += [  # our own figures; the demo's first disk has a year of history, half-way through its cycles
        ("drivesentinel_drive_health_ratio", [], {(s, ""): d["healthPercent"] / 100 for s, d in disks.items()
                                                  if d["healthPercent"] is not None}),
        ("round(drivesentinel_drive_lifespan_remaining_seconds / 86400 / 5)", [], {("QRA50C2208150042", ""): 146}),
        ("drivesentinel_volume_free_bytes", ["mountpoint"], {
            (s, v["mountPoint"]): v["freeBytes"] for s, d in disks.items() for v in d["volumes"]})]
    for expr, keys, want in expected:
        if not want or by_serial(expr, *keys) != want:
            failures.append("%s: %s, not %s" % (expr, by_serial(expr, *keys), want))
    for found in query("smartctl_device{%s}" % DEMO):
        labels, disk = found["metric"], disks.get(found["metric"].get("serial_number"), {})
        if set(labels) != DEVICE_LABELS or (labels["interface"], labels["protocol"], labels["model_name"],
                                            labels["firmware_version"]) != (
                "sat", "ATA", disk.get("model", "").strip(), disk.get("firmware")):
            failures.append("smartctl_device: %s" % labels)
    names = {r["metric"]["attribute_name"] for r in query('smartctl_device_attribute{attribute_id=~"9|194|5"}')}
    if names != {"Power_On_Hours", "Temperature_Celsius", "Reallocated_Sector_Ct"}:
        failures.append("attribute names %s" % names)

    # The dashboard: its variables filled in from Prometheus, then every panel's query returns data.
    dashboard = json.load(open(DASHBOARD))
    values = {}
    for variable in dashboard["templating"]["list"]:
        found = re.fullmatch(r"label_values\((.*), (\w+)\)", variable.get("query", ""))
        if found:
            match = found.group(1).replace("$instance", values.get("instance", ".*"))
            url = "http://127.0.0.1:%d/api/v1/label/%s/values?%s" % (prom_port, found.group(2),
                                                                    urllib.parse.urlencode({"match[]": match}))
            with urllib.request.urlopen(url, timeout=5) as answer:
                values[variable["name"]] = "|".join(json.load(answer)["data"])
    if set(values) != {"instance", "device"} or "0-qra-x50" not in values["device"]:
        failures.append("dashboard variables: %s" % values)
    for panel in dashboard["panels"]:
        for target in panel["targets"]:
            expr = target["expr"].replace("$instance", "127.0.0.1:%d" % demo_port).replace("$device", values["device"])
            if not query(expr):
                failures.append("dashboard panel %r: no data for %s" % (panel["title"], expr))

    # The listener answers to this machine's names only.
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:  # an address of this machine
        address = probe.connect_ex(("192.0.2.1", 9)) == 0 and probe.getsockname()[0]
    text, kind = "", ""
    for host, wanted in [(None, 200), (socket.gethostname(), 200), (address, 200), ("evil.example", 421)]:
        headers = {"Accept": PROMETHEUS_ACCEPT} if host is None else {"Host": "%s:%d" % (host, demo_port)}
        try:
            with urllib.request.urlopen(urllib.request.Request("http://127.0.0.1:%d/metrics" % demo_port,
                                                               headers=headers), timeout=5) as answer:
                status = answer.status
                if host is None:
                    text, kind = answer.read().decode(), answer.headers.get("Content-Type", "")
        except urllib.error.HTTPError as refused:
            status = refused.code
        if host is not False and status != wanted:
            failures.append("Host %s: %s, not %d" % (host, status, wanted))
    # promtool's lint: only the names the common exporter chose end in "_count" as a gauge.
    check = subprocess.run(["promtool", "check", "metrics"], input=text, text=True, capture_output=True)
    said = [line for line in (check.stdout + check.stderr).splitlines() if not re.fullmatch(
        r'smartctl_device_(error_log|self_test_log|self_test_log_error|power_cycle)_count non-histogram and non-summary metrics '
        r'should not have "_count" suffix', line)]
    if said or not kind.startswith("text/plain; version=0.0.4"):
        failures.append("the exporter's text (%s), checked by promtool: %s" % (kind, said))
finally:
    for process, _ in reversed(processes):
        process.send_signal(signal.SIGTERM)
    for process, _ in processes:
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            process.kill()
            failures.append("%s ignored SIGTERM" % process.args[0])
    hook.shutdown()
demo_log.seek(0)
said = demo_log.read()
failures += ["no log line: " + line for line in ("warning: the metrics are reachable from other machines",
             'refused a request for Host "evil.example:%d"' % demo_port) if line not in said]
for process, log in processes * bool(failures):
    log.seek(0)
    print("%s said:\n%s" % (process.args[0], "".join(log.readlines()[-5:])))
shutil.rmtree(work, ignore_errors=True)
print("\n".join("FAIL " + failure for failure in failures) or "all as expected")
sys.exit(1 if failures else 0)
