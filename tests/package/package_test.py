#!/usr/bin/python3
"""The Debian package, built by CPack from a build folder and inspected, never installed.
usage: package_test.py build BUILD-DIR OUT-DIR   (runs cpack; the other checks need it)
       package_test.py contents|scripts|unit|lintian OUT-DIR"""
import atexit, glob, gzip, os, re, shutil, signal, stat, subprocess, sys, tempfile

PKG = "norvik-drivesentinel"
LIB, HOME, UNIT = "/usr/lib/" + PKG, "/var/lib/" + PKG, "/lib/systemd/system/%s.service" % PKG
CONF = "/etc/%s/drivesentinel.conf" % PKG
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../..")
failures = []


def check(ok, what):
    print("%s %s" % ("ok  " if ok else "FAIL", what))
    failures.extend([] if ok else [what])


run = lambda argv, **kw: subprocess.run(argv, capture_output=True, text=True, timeout=300, **kw)


def temp_folder(prefix, deb=None):
    folder = tempfile.mkdtemp(prefix=prefix)
    atexit.register(shutil.rmtree, folder, True)
    if deb:
        subprocess.run(["dpkg-deb", "-x", deb, folder], check=True)
    return folder


def build(build_dir, out):
    shutil.rmtree(out, True)
    made = subprocess.run(["cpack", "-G", "DEB", "--config", "CPackConfig.cmake", "-B", out],
                          cwd=build_dir, timeout=300)
    check(made.returncode == 0 and len(glob.glob(os.path.join(out, "*.deb"))) == 1, "cpack")


def contents(deb):
    listing = {}
    for line in run(["dpkg-deb", "-c", deb]).stdout.splitlines():
        mode, owner, _, _, _, path = line.split(None, 5)
        path, _, target = path[1:].partition(" -> ")
        listing[path.rstrip("/") or "/"] = (mode, owner, target)
    for path, mode, target in [
            (LIB + "/drivesentinel", "-rwxr-xr-x", ""),
            (LIB + "/data/CSmtp.exe", "-rwxr-xr-x", ""),
            ("/usr/bin/drivesentinel", "lrwxrwxrwx", "../lib/%s/drivesentinel" % PKG),
            (UNIT, "-rw-r--r--", ""),
            (CONF, "-rw-r--r--", ""),
            ("/usr/share/doc/%s/examples/drivesentinel-alerts.yml" % PKG, "-rw-r--r--", ""),
            ("/usr/share/%s/grafana/drivesentinel-dashboard.json" % PKG, "-rw-r--r--", "")]:
        check(listing.get(path, ("missing",))[0::2] == (mode, target), "%s %s" % (mode, path))
    data = os.path.join(SOURCE, "data")
    for path in [os.path.join(f, n) for f, _, names in os.walk(data) for n in names]:
        path = LIB + "/data/" + os.path.relpath(path, data)
        check(listing.get(path, ("missing",))[0] == "-rw-r--r--", "shipped " + path)
    check(all(owner == "root/root" for _, owner, _ in listing.values()), "everything root's")
    check(not [p for p in listing if p.startswith(("/var", "/home", "/tmp")) or
               p.startswith("/etc") and not CONF.startswith(p)], "no state; in /etc only " + CONF)
    check(not [p for p, (m, _, _) in listing.items() if m[0] != "l" and "w" in m[5::3]],
          "nothing writable by group or others")
    control = run(["dpkg-deb", "-I", deb]).stdout
    members = dict((n, x) for x, n in re.findall(r"lines\s+(\*?)\s*(\S+)", control))
    check(run(["dpkg-deb", "-I", deb, "conffiles"]).stdout.split() == [CONF], "the conffile")
    check([members.get(s) for s in ("postinst", "prerm", "postrm")] == ["*"] * 3,
          "maintainer scripts executable")
    depends = re.search(r"^ Depends: (.*)$", control, re.M).group(1)
    check(all(d in depends for d in ("libc6", "libcurl4", "init-system-helpers", "libmicrohttpd12",
                                        "libgnutls30")), depends)

    root = temp_folder("ds-deb-", deb)
    source_ini = open(os.path.join(SOURCE, "app/Norvik_DriveSentinel.ini")).read()
    check(open(root + LIB + "/Norvik_DriveSentinel.ini").read() ==
          source_ini + "Home_Folder=%s\n" % HOME, "the ini file names the home")
    man = run(["groff", "-man", "-Tutf8", "-ww", "-z"],
              input=gzip.open(root + "/usr/share/man/man8/drivesentinel.8.gz", "rt").read())
    check(man.returncode == 0 and not man.stderr, "man page without groff warnings " + man.stderr)
    home_choice(root + "/usr/bin/drivesentinel")


def home_choice(program):  # through its /usr/bin link it finds its ini file and home
    work = temp_folder("ds-home-")
    env = {k: v for k, v in os.environ.items() if k != "DRIVESENTINEL_HOME"}
    said = "home folder %s/simulated/ does not exist" % HOME
    ran = run([program, "--demo", "--headless"], env=env)
    check(ran.returncode == 1 and said in ran.stderr, said)
    os.mkdir(work + "/env")
    window = subprocess.Popen([program, "--demo", "--headless"], stdout=subprocess.PIPE,
                              text=True, env=dict(env, DRIVESENTINEL_HOME=work + "/env"))
    line = window.stdout.readline()
    kept = work + "/env/simulated/.drivesentinel.address"
    address = open(kept).read() if line and os.path.exists(kept) else ""
    window.send_signal(signal.SIGTERM)
    window.wait(timeout=60)
    check(line.startswith("Norvik DriveSentinel: http://") and address and address in line,
          "runs with the home of DRIVESENTINEL_HOME: " + line.strip())


def scripts(deb):
    """The maintainer scripts in a sandbox root (DPKG_ROOT)."""
    control, root = temp_folder("ds-control-"), temp_folder("ds-root-")
    subprocess.run(["dpkg-deb", "-e", deb, control], check=True)
    home, wants = root + HOME, root + "/etc/systemd/system/multi-user.target.wants/"
    os.makedirs(root + "/var/lib"), os.makedirs(wants)
    os.symlink(UNIT, wants + PKG + ".service")
    os.symlink("/lib/systemd/system/other.service", wants + "other.service")

    def script(*argv):
        ran = run([os.path.join(control, argv[0]), *argv[1:]], env=dict(os.environ, DPKG_ROOT=root))
        check(ran.returncode == 0, " ".join(argv) + " " + ran.stderr)

    mode = lambda path: stat.S_IMODE(os.lstat(path).st_mode)
    script("postinst", "configure", "")
    check(mode(home) == 0o700 and os.stat(home).st_uid == 0, "install makes the home 0700 root")
    open(home + "/setting.dat", "w").close()
    os.chmod(home, 0o755)
    script("prerm", "upgrade", "1.1-1")
    script("postinst", "configure", "1.0-1")
    check(mode(home) == 0o700 and os.path.exists(home + "/setting.dat"),
          "upgrade keeps the home and its files, 0700")
    script("prerm", "remove")
    script("postrm", "remove")
    check(os.path.exists(home + "/setting.dat") and os.path.islink(wants + PKG + ".service"),
          "removal keeps the home and the enabled state")
    script("postrm", "purge")
    check(not os.path.lexists(home) and not os.path.lexists(wants + PKG + ".service") and
          os.path.islink(wants + "other.service"), "purge removes the home and its own link only")
    os.makedirs(root + "/srv/home")
    os.chmod(root + "/srv/home", 0o755)
    os.symlink(root + "/srv/home", home)
    script("postinst", "configure", "")
    check(os.path.islink(home) and mode(root + "/srv/home") == 0o755, "a linked home is the admin's")


def unit(deb):
    """systemd-analyze verify on the unit (ExecStart in the unpacked package); any output fails."""
    root = temp_folder("ds-deb-", deb)
    text = open(root + UNIT).read()
    for setting in ["ExecStart=%s/drivesentinel /autostart" % LIB, "ProtectSystem=strict",
                    "ReadWritePaths=" + HOME, "ProtectHome=read-only", "NoNewPrivileges=yes",
                    "PrivateTmp=yes", "TimeoutStopSec=infinity",
                    "CapabilityBoundingSet=CAP_SYS_RAWIO CAP_SYS_ADMIN"]:
        check(re.search("^%s$" % re.escape(setting), text, re.M) is not None, setting)
    # Each of these would hide /dev/sd* or the mail server from the program.
    hiding = ["PrivateDevices", "PrivateNetwork", "DeviceAllow", "IPAddressDeny", "ProtectClock"]
    check(not [key for key in hiding if key in text], "the disks and the network stay reachable")
    service = temp_folder("ds-unit-") + "/%s.service" % PKG
    open(service, "w").write(text.replace("ExecStart=" + LIB, "ExecStart=" + root + LIB))
    verify = run(["systemd-analyze", "verify", "--man=no", service])
    check(verify.returncode == 0 and not (verify.stdout + verify.stderr).strip(),
          "systemd-analyze verify: " + verify.stdout + verify.stderr)


def lintian(deb):
    ran = run(["lintian", "--fail-on", "error", "--display-info", deb])
    print(ran.stdout, ran.stderr)
    check(ran.returncode == 0 and not re.search(r"^E: ", ran.stdout, re.M), "lintian: no errors")


if sys.argv[1] == "build":
    build(sys.argv[2], sys.argv[3])
else:
    debs = glob.glob(os.path.join(sys.argv[2], "*.deb"))
    if len(debs) != 1:
        sys.exit("expected one package in %s, found %s" % (sys.argv[2], debs))
    {"contents": contents, "scripts": scripts, "unit": unit, "lintian": lintian}[sys.argv[1]](debs[0])
sys.exit(1 if failures else 0)
