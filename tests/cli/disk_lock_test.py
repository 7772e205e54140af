#!/usr/bin/python3
"""Two programs never talk to one disk at once: while another process holds a disk's lock
file, `report` waits for it a bounded time, then skips that disk with its message; once the
lock is free it reads it. usage: disk_lock_test.py PATH-TO-drivesentinel SOURCE-DIR"""
import fcntl, glob, os, shutil, subprocess, sys, tempfile, threading, time

program, source = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="ds-lock-")
machine, home, tmp = (os.path.join(work, n) for n in ("machine", "home", "tmp"))
shutil.copytree(os.path.join(source, "data/sim/demo"), machine)
os.makedirs(home), os.makedirs(tmp)
# The lock files of simulated machines lie in the temporary folder: this test's own.
env = {"PATH": "/usr/bin:/bin", "LANG": "C.UTF-8", "TMPDIR": tmp}
report = [program, "report", "--sim", machine, "--home", home]


def run():
    started = time.monotonic()
    done = subprocess.run(report, env=env, capture_output=True, text=True, timeout=60)
    return done, time.monotonic() - started


failures = []
first, _ = run()  # makes the lock files
locks = glob.glob(os.path.join(tmp, "norvik-drivesentinel-sim-*", "*", "0-qra-x50.lock"))
if first.returncode != 0 or "Disk 0 " not in first.stdout or len(locks) != 1:
    sys.exit("the first report failed or left no lock file: %s %s" % (first.stderr, locks))

with open(locks[0], "r+") as held:  # another program holds disk 0 for the whole run
    fcntl.flock(held, fcntl.LOCK_EX)
    skipped, took = run()
# Its IDENTIFY waited for (once in the enumeration) and its read too: listed without identity,
# not read, with the reason; the other disks read as ever.
said = "0-qra-x50 is in use by another program; skipped"
if (skipped.stderr.count(said) != 2 or "not read (%s)" % said not in skipped.stdout or
        "QRA-X50" in skipped.stdout or "QRB-X52" not in skipped.stdout):
    failures.append("a held disk was not skipped with its message:\n" + skipped.stderr)
if not 9.5 < took < 15:  # two waits of 5 s, not one per command
    failures.append("the report did not wait for the held disk as it should (%.1f s)" % took)

held = open(locks[0], "r+")  # held, and given up after a second: the report waits and reads
fcntl.flock(held, fcntl.LOCK_EX)
threading.Timer(1.0, held.close).start()
waited, took = run()
if waited.returncode != 0 or "QRA-X50" not in waited.stdout or "in use" in waited.stderr:
    failures.append("the freed disk was not read:\n" + waited.stdout + waited.stderr)
if took < 1.0:
    failures.append("the report went ahead while the disk was held (%.1f s)" % took)

shutil.rmtree(work)
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
