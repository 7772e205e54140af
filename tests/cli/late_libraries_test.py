#!/usr/bin/python3
"""A report maps neither the HTTP server nor the TLS library; the window loads the first by
soname (LD_DEBUG=files makes the loader name each). usage: late_libraries_test.py PROGRAM"""
import re, shutil, signal, subprocess, sys, tempfile

program, home = sys.argv[1], tempfile.mkdtemp(prefix="ds-late-")
env = {"PATH": "/usr/bin:/bin", "LD_DEBUG": "files"}
loaded = lambda text: sorted(set(re.findall(r"file=(lib(?:microhttpd|gnutls)\S*) \[0\];\s+(needed|dynamically)", text)))
try:
    report = subprocess.run([program, "report", "--demo", "--home", home], env=env, text=True,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
    window = subprocess.Popen([program, "--demo", "--headless", "--port", "0", "--home", home],
                              env=env, text=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    window.stdout.readline()  # the address: the server runs
    window.send_signal(signal.SIGTERM)
    shown = loaded(window.communicate(timeout=60)[1])
finally:
    shutil.rmtree(home, ignore_errors=True)
print("report:", report.returncode, loaded(report.stderr), "window:", shown)
sys.exit(0 if report.returncode == 0 and not loaded(report.stderr) and shown == [
    ("libgnutls.so.30", "needed"), ("libmicrohttpd.so.12", "dynamically")] else 1)
