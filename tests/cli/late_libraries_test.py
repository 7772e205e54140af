#!/usr/bin/python3
"""Neither a report nor a window nobody opened maps the HTTP server or TLS library; the first
client loads the server library by soname (LD_DEBUG=files makes the loader name each library).
usage: late_libraries_test.py PATH-TO-drivesentinel"""
import re, shutil, signal, subprocess, sys, tempfile, time, urllib.request

program, home = sys.argv[1], tempfile.mkdtemp(prefix="ds-late-")
env = {"PATH": "/usr/bin:/bin", "LD_DEBUG": "files"}
loaded = lambda text: sorted(set(re.findall(r"file=(lib(?:microhttpd|gnutls)\S*) \[0\];\s+(needed|dynamically)", text)))
mapped = lambda pid: sorted(set(re.findall(r"/(lib(?:microhttpd|gnutls)[^/\s]*)$", open("/proc/%d/maps" % pid).read(), re.M)))
try:
    report = subprocess.run([program, "report", "--demo", "--home", home], env=env, text=True,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
    window = subprocess.Popen([program, "--demo", "--headless", "--port", "0", "--home", home],
                              env=env, text=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    address = window.stdout.readline().split()[-1]
    time.sleep(1)
    idle = mapped(window.pid)
    urllib.request.urlopen(address, timeout=30).read()
    opened = mapped(window.pid)
    window.send_signal(signal.SIGTERM)
    shown = loaded(window.communicate(timeout=60)[1])
finally:
    shutil.rmtree(home, ignore_errors=True)
print("report:", report.returncode, loaded(report.stderr), "idle:", idle, "opened:", opened, shown)
sys.exit(0 if report.returncode == 0 and not loaded(report.stderr) and not idle and len(opened) == 2 and shown == [
    ("libgnutls.so.30", "needed"), ("libmicrohttpd.so.12", "dynamically")] else 1)
