#!/usr/bin/python3
"""The HTTP server and TLS libraries are loaded by soname only when the window starts: a report
maps neither. usage: late_libraries_test.py PATH-TO-drivesentinel"""
import os, re, shutil, signal, subprocess, sys, tempfile

program, home = sys.argv[1], tempfile.mkdtemp(prefix="ds-late-")
env = {"PATH": "/usr/bin:/bin", "LD_DEBUG": "files"}  # the loader names every library it maps


def loaded(output):
    return set(re.findall(r"file=(libmicrohttpd\S*|libgnutls\S*) \[0\];\s+(needed|dynamically)", output))


try:
    report = subprocess.run([program, "report", "--demo", "--home", home], env=env, text=True,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
    window = subprocess.Popen([program, "--demo", "--headless", "--port", "0", "--home", home],
                              env=env, text=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    window.stdout.readline()  # the address: the server runs
    window.send_signal(signal.SIGTERM)
    _, errors = window.communicate(timeout=60)
    results = [(report.returncode == 0 and not loaded(report.stderr), "report maps neither library"),
               (loaded(errors) == {("libmicrohttpd.so.12", "dynamically"), ("libgnutls.so.30", "needed")},
                "the window loads the server library by soname: %s" % sorted(loaded(errors)))]
finally:
    shutil.rmtree(home, ignore_errors=True)
for passed, what in results:
    print(("ok   " if passed else "FAIL ") + what)
sys.exit(0 if all(passed for passed, _ in results) else 1)
