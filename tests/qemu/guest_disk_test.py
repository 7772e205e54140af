#!/usr/bin/python3
"""Boots Debian's kernel under QEMU with AHCI disks; compares smartctl's and our readings, erases two disks.
Kernel cached in DIR/qemu-cache, the run's console and outputs kept in DIR/qemu-run."""

import argparse, functools, glob, lzma, os, re, secrets, shutil, subprocess, sys, tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import guest_checks  # noqa: E402

# Longer than the 16 characters sysfs shows: the whole model is IDENTIFY's.
DISK = guest_checks.DiskFacts("NORVIK QEMU AHCI TEST DISK 5731-X", "DSQ2026120607", "QF1.2.3", 256)
# The unmapping disk is larger than one TRIM block (4,194,240 sectors): the erase sends several.
ERASE_DISKS = [guest_checks.EraseDisk(role, guest_checks.DiskFacts(
    f"DS ERASE {role.upper()} DISK", serial, "QE1", mib), discard)
    for role, serial, mib, discard in [("unmap", "DSE2026UNMAP1", 2100, "unmap"),
                                       ("keeps", "DSE2026KEEPS2", 16, "ignore")]]
# ext4 also mounts ext2; crc32c_generic serves its checksums when the CPU has no CRC32.
MODULES, OPTIONAL_MODULES = ["ahci", "sd_mod", "sg", "ext4"], ["crc32c_generic"]
HOST_TOOLS = dict(pair.split(":") for pair in (  # tool: its Debian package
    "qemu-system-x86_64:qemu-system-x86 busybox:busybox-static smartctl:smartmontools cpio:cpio "
    "depmod:kmod modprobe:kmod dpkg:dpkg apt-get:apt objcopy:binutils").split())


class HarnessError(Exception):  # a failure of the set-up (tools, kernel, boot)
    pass


log = functools.partial(print, flush=True)


def tool(name):
    path = shutil.which(name, path=os.environ.get("PATH", "") + ":/usr/sbin:/sbin:/usr/bin:/bin")
    if not path:
        raise HarnessError(f"'{name}' not found: install the Debian package "
                           f"'{HOST_TOOLS[name]}' (scripts/install-deps.sh does)")
    return path


def run(argv, what=None, **kwargs):  # with `what`, a failure raises HarnessError naming it
    done = subprocess.run(argv, check=False, capture_output=True, text=True, **kwargs)
    if what and done.returncode != 0:
        raise HarnessError(f"{what} failed:\n{done.stderr}")
    return done


def write_text(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "w", encoding="utf-8").write(text)


def kernel_package():  # (package, version) of the image linux-image-amd64 depends on
    def depends():
        return re.search(r"Depends:\s*(linux-image-[0-9][^\s<>]*)", run(
            ["apt-cache", "depends", "--no-recommends", "--no-suggests", "linux-image-amd64"]).stdout)
    match = depends() or (os.geteuid() == 0 and run(["apt-get", "update", "-q"]) and depends())
    if not match:
        raise HarnessError("cannot resolve Debian's linux-image-amd64 (no apt lists?)")
    show = run(["apt-cache", "show", "--no-all-versions", match.group(1)]).stdout
    version = re.search(r"^Version:\s*(\S+)", show, re.M)
    return match.group(1), version.group(1) if version else "unknown"


def prepare_kernel(cache):
    """vmlinuz, modules and load order, unpacked once; a cached kernel serves when apt cannot."""
    os.makedirs(cache, exist_ok=True)
    cached = sorted(glob.glob(os.path.join(cache, "kernel-*", "complete")))
    try:
        return unpack_kernel(cache, *kernel_package())
    except HarnessError as error:
        if not cached:
            raise
        log(f"{error}\nusing the cached {os.path.dirname(cached[-1])}")
        return os.path.dirname(cached[-1])


def unpack_kernel(cache, package, version):
    folder = os.path.join(cache, "kernel-" + re.sub(r"[^A-Za-z0-9.+-]", "_", f"{package}_{version}"))
    if os.path.isfile(os.path.join(folder, "complete")):
        return folder
    log(f"fetching {package} {version} (cached afterwards in {cache})")
    work = tempfile.mkdtemp(prefix="kernel-unpack-", dir=cache)
    try:
        run(["apt-get", "download", f"{package}={version}"], f"apt-get download {package}", cwd=work)
        root, staging = os.path.join(work, "root"), os.path.join(work, "kernel")
        run(["dpkg", "-x", glob.glob(os.path.join(work, "*.deb"))[0], root], "dpkg -x")
        base = root if os.path.isdir(os.path.join(root, "lib/modules")) else root + "/usr"
        kver = sorted(os.listdir(os.path.join(base, "lib/modules")))[-1]
        run([tool("depmod"), "-b", base, kver], "depmod")
        os.makedirs(os.path.join(staging, "modules"))
        shutil.copyfile(os.path.join(root, "boot", f"vmlinuz-{kver}"), os.path.join(staging, "vmlinuz"))
        names = []  # each module after those it needs, as modprobe resolves them
        for wanted in OPTIONAL_MODULES + MODULES:
            shown = run([tool("modprobe"), "-d", base, "-S", kver, "--show-depends", wanted],
                        None if wanted in OPTIONAL_MODULES else f"finding module {wanted}")
            for words in map(str.split, shown.stdout.splitlines()):
                name = os.path.basename(words[1]).split(".ko")[0].replace("-", "_")
                if words[0] != "insmod" or name in names:
                    continue
                names.append(name)
                opener = lzma.open if words[1].endswith(".xz") else open
                with opener(words[1], "rb") as packed, \
                        open(os.path.join(staging, "modules", name + ".ko"), "wb") as plain:
                    shutil.copyfileobj(packed, plain)
        write_text(os.path.join(staging, "modules.order"), "\n".join(names) + "\n")
        write_text(os.path.join(staging, "kernel-version"), kver + "\n")
        write_text(os.path.join(staging, "complete"), f"{package} {version}\n")
        shutil.rmtree(folder, ignore_errors=True)
        os.rename(staging, folder)
        return folder
    finally:
        shutil.rmtree(work, ignore_errors=True)


def copy_into(root, source, target=None, strip=False):
    target = os.path.join(root, (target or source).lstrip("/"))
    os.makedirs(os.path.dirname(target), exist_ok=True)
    if strip:
        run(["objcopy", "--strip-debug", source, target], f"objcopy {source}")
    else:
        shutil.copyfile(os.path.realpath(source), target)
    shutil.copymode(os.path.realpath(source), target)


def install_program(root, source, target, strip=False):  # and the libraries ldd lists
    copy_into(root, source, target, strip)
    listed = run(["ldd", source]).stdout
    if "not found" in listed:
        raise HarnessError(f"{source}: a library is missing:\n{listed}")
    for library in re.findall(r"(?:=>\s*|^\s*)(/\S+)", listed, re.M):
        if not os.path.exists(os.path.join(root, library.lstrip("/"))):
            copy_into(root, library)


def build_initramfs(kernel, run_dir, program, smart_paths, payload="payload.sh"):
    root = os.path.join(run_dir, "root")
    shutil.rmtree(root, ignore_errors=True)
    copy_into(root, tool("busybox"), "/bin/busybox")
    os.symlink("busybox", os.path.join(root, "bin", "sh"))
    install_program(root, tool("smartctl"), "/usr/sbin/smartctl")
    kver = open(os.path.join(kernel, "kernel-version"), encoding="utf-8").read().strip()
    shutil.copytree(os.path.join(kernel, "modules"), os.path.join(root, "lib", "modules", kver))
    copy_into(root, os.path.join(kernel, "modules.order"), "/etc/ds-modules")
    install_program(root, program, "/opt/ds/drivesentinel", strip=True)
    shutil.copytree(os.path.join(os.path.dirname(program), "data"), os.path.join(root, "opt/ds/data"),
                    ignore=shutil.ignore_patterns("sim"))
    install_program(root, smart_paths, "/opt/ds/smart_paths", strip=True)
    copy_into(root, os.path.join(HERE, "guest", "init"), "/init")
    copy_into(root, os.path.join(HERE, "guest", payload), "/payload.sh")
    for path, text in [
            ("etc/ds-kernel-version", kver + "\n"),
            ("etc/ds-disks", f"main|{DISK.serial}\n" +
             "".join(f"{d.role}|{d.facts.serial}\n" for d in ERASE_DISKS)),
            ("etc/passwd", "root:x:0:0:root:/root:/bin/sh\ntester:x:1000:1000:tester:/tmp:/bin/sh\n"),
            ("etc/group", "root:x:0:\ntester:x:1000:\n")]:
        write_text(os.path.join(root, path), text)
    os.chmod(os.path.join(root, "init"), 0o755)

    image = os.path.join(run_dir, "initramfs.cpio")
    files = subprocess.run(["find", "."], cwd=root, check=True, capture_output=True).stdout
    with open(image, "wb") as archive:
        packed = subprocess.run([tool("cpio"), "--quiet", "-o", "-H", "newc", "-R", "0:0"],
                                cwd=root, input=files, stdout=archive, stderr=subprocess.PIPE)
    if packed.returncode != 0:
        raise HarnessError(f"cpio failed:\n{packed.stderr.decode(errors='replace')}")
    shutil.rmtree(root, ignore_errors=True)
    return image


def boot(kernel, initramfs, run_dir, report):  # also checks what the erase left in the images
    disks = [(DISK, "unmap")] + [(d.facts, d.discard) for d in ERASE_DISKS]
    images = [os.path.join(run_dir, f"disk{port}.img") for port in range(len(disks))]
    nonce = secrets.token_hex(8)
    argv = [tool("qemu-system-x86_64"), "-machine", "q35", "-accel", "tcg", "-m", "512",
            "-smp", "1", "-nographic", "-nodefaults", "-serial", "stdio", "-monitor", "none",
            "-no-reboot", "-kernel", os.path.join(kernel, "vmlinuz"), "-initrd", initramfs,
            "-append", f"console=ttyS0 quiet loglevel=1 panic=-1 ds.nonce={nonce}"]
    for port, ((facts, discard), disk) in enumerate(zip(disks, images)):
        with open(disk, "wb") as image:
            image.truncate(facts.size_mib * 1024 * 1024)
        argv += ["-drive", f"if=none,id=d{port},file={disk},format=raw,discard={discard}",
                 "-device", f"ide-hd,bus=ide.{port},drive=d{port},model={facts.model},"
                            f"serial={facts.serial},ver={facts.firmware},rotation_rate=1"]
    log("booting: " + " ".join(argv))
    try:
        completed = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True,
                                   timeout=420)
        console = completed.stdout.decode("utf-8", errors="replace").replace("\r", "")
    except subprocess.TimeoutExpired as expired:
        completed, console = None, (expired.stdout or b"").decode("utf-8", errors="replace")
    finally:
        left = [guest_checks.first_nonzero_offset(disk) for disk in images]
        for disk in images:
            os.unlink(disk)
    write_text(os.path.join(run_dir, "console.log"), console)
    if completed is None or completed.returncode != 0:
        said = "did not power off in time" if completed is None else \
            f"failed (exit {completed.returncode}): {completed.stderr.decode(errors='replace')}"
        raise HarnessError(f"QEMU {said.strip()}\nconsole tail:\n{console[-3000:]}")
    report.check(left[1] is None, "erase: the erased disk's image holds only zeros", str(left[1]))
    report.check(left[2] is not None, "erase: the disk whose TRIM keeps data still holds it")
    try:
        return guest_checks.parse_console(console, nonce)
    except ValueError as error:
        raise HarnessError(str(error)) from None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--build-dir", "--program", "--smart-paths"):
        parser.add_argument(option, required=True, type=os.path.abspath)
    args = parser.parse_args()
    [tool(name) for name in HOST_TOOLS]
    run_dir = os.path.join(args.build_dir, "qemu-run")
    shutil.rmtree(run_dir, ignore_errors=True)
    os.makedirs(run_dir)
    kernel = prepare_kernel(os.path.join(args.build_dir, "qemu-cache"))
    report = guest_checks.CheckReport()
    guest = boot(kernel, build_initramfs(kernel, run_dir, args.program, args.smart_paths),
                 run_dir, report)
    for name, text in guest.files.items():
        write_text(os.path.join(run_dir, "out", name), text)
    log(f"guest outputs kept in {run_dir}/out")

    def attribute_table(series):
        path = os.path.join(os.path.dirname(args.program), "data", "SMART2.dat" if series in (1, 2) else "SMART.dat")
        return open(path, encoding="latin-1").read() if os.path.isfile(path) else None

    guest_checks.check_guest(guest, DISK, attribute_table, report, disk_count=1 + len(ERASE_DISKS))
    report.check(guest.exit_code == 0, f"the guest payload ran through (exit {guest.exit_code})",
                 guest.files.get("payload.log", "") if guest.exit_code else "")
    log("\n".join(report.lines))
    log(f"{report.failures} check(s) failed" if report.failures else "all guest checks passed")
    return 1 if report.failures else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except HarnessError as error:
        print(f"FAIL: {error}", file=sys.stderr, flush=True)
        sys.exit(1)
