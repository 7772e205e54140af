#!/usr/bin/python3
"""Start-up failures say what is wrong and exit non-zero; only a real second instance ends
silently with 0. usage: start_failures_test.py PATH-TO-drivesentinel"""
import os, subprocess, sys, tempfile

program = sys.argv[1]
work = tempfile.mkdtemp(prefix="ds-start-")
blocked, locked = os.path.join(work, "blocked"), os.path.join(work, "locked")
os.makedirs(blocked)
open(os.path.join(blocked, "data"), "w").close()  # a file where the data folder belongs
os.makedirs(os.path.join(locked, ".drivesentinel.lock"))  # a folder where the lock belongs

failures = 0
for label, home, said in [
        ("a missing home", os.path.join(work, "missing"), "does not exist"),
        ("a data folder that is a file", blocked, "cannot write into"),
        ("a lock that cannot be taken", locked, "cannot open"),
]:
    run = subprocess.run([program, "--demo", "--headless", "--home", home], capture_output=True,
                         text=True, timeout=60)
    ok = run.returncode == 1 and said in run.stderr and not run.stdout
    print("%s %s: exit %d, %r" % ("ok  " if ok else "FAIL", label, run.returncode,
                                  run.stderr.strip()))
    failures += not ok
sys.exit(1 if failures else 0)
