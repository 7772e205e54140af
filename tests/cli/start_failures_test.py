#!/usr/bin/python3
"""Start-up failures say what is wrong and exit non-zero; only a real second instance ends
silently with 0. usage: start_failures_test.py PATH-TO-drivesentinel"""
import os, shutil, subprocess, sys, tempfile

program = sys.argv[1]
work = tempfile.mkdtemp(prefix="ds-start-")
blocked, locked = os.path.join(work, "blocked"), os.path.join(work, "locked")
os.makedirs(blocked)
open(os.path.join(blocked, "data"), "w").close()  # a file where the data folder belongs
os.makedirs(os.path.join(locked, ".drivesentinel.lock"))  # a folder where the lock belongs

tls = {n: os.path.join(work, n) for n in ("cert", "key", "other", "encrypted", "junk", "bad-cert")}
openssl = ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
           "-nodes", "-keyout", tls["key"], "-out", tls["cert"], "-days", "1", "-subj", "/CN=x"]
subprocess.run(openssl, check=True, capture_output=True)
subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt",
                "ec_paramgen_curve:prime256v1", "-out", tls["other"]],
               check=True, capture_output=True)
subprocess.run(["openssl", "pkey", "-in", tls["key"], "-aes256", "-passout", "pass:pw", "-out",
                tls["encrypted"]], check=True, capture_output=True)
open(tls["junk"], "w").write("not a key\n")
open(tls["bad-cert"], "w").write("-----BEGIN CERTIFICATE-----\nAAAA\n-----END CERTIFICATE-----\n")
os.makedirs(os.path.join(work, "home"))


def with_tls(cert, key):  # a good home, the TLS files given
    return [os.path.join(work, "home"), "--tls-cert", tls[cert], "--tls-key", tls.get(key, key)]


failures = 0
for label, home, said in [
        ("a missing home", os.path.join(work, "missing"), "does not exist"),
        ("a data folder that is a file", blocked, "cannot write into"),
        ("a lock that cannot be taken", locked, "cannot open"),
        ("a missing TLS key", with_tls("cert", "/nonexistent.key"),
         "cannot use the TLS key /nonexistent.key: cannot open: No such file or directory"),
        ("a junk TLS key", with_tls("cert", "junk"), "key %s: it is not a PEM file" % tls["junk"]),
        ("a certificate as the key", with_tls("cert", "cert"), "it holds no PEM private key"),
        ("an encrypted TLS key", with_tls("cert", "encrypted"),
         "key %s: it is encrypted" % tls["encrypted"]),
        ("another certificate's key", with_tls("cert", "other"),
         "key %s: it does not belong to the certificate %s" % (tls["other"], tls["cert"])),
        ("a junk certificate", with_tls("bad-cert", "key"),
         "TLS certificate %s: it is not a valid certificate" % tls["bad-cert"]),
]:
    home = home if isinstance(home, list) else [home]
    run = subprocess.run([program, "--demo", "--headless", "--home", *home], capture_output=True,
                         text=True, timeout=60)
    ok = run.returncode == 1 and said in run.stderr and not run.stdout
    print("%s %s: exit %d, %r" % ("ok  " if ok else "FAIL", label, run.returncode,
                                  run.stderr.strip()))
    failures += not ok
shutil.rmtree(work, ignore_errors=True)
sys.exit(1 if failures else 0)
