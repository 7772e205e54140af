#!/usr/bin/python3
"""Real-kernel test of the disk layer.

Boots Debian's kernel under QEMU (q35, software emulation) with an emulated AHCI disk,
runs smartctl and DriveSentinel inside the guest on that disk, and compares what both
read, field by field, on the host. Commands travel the whole real path: SG_IO -> sd/sg ->
libata's SCSI/ATA translation -> ahci -> the emulated controller and disk. Three more
disks take the erase sub-command: one QEMU unmaps (erased by TRIM), one whose TRIM keeps
the data (the erase must fail), one partitioned (refused and left untouched).

Usage: guest_disk_test.py --build-dir DIR [--program PATH] [--smart-paths PATH]

The kernel package, its modules and the guest files are cached under
DIR/qemu-cache; each run's console log and guest outputs are kept under DIR/qemu-run.
Exit code 0 only when the guest ran and every check passed.
"""

import argparse
import lzma
import os
import re
import secrets
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import guest_checks  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))

# The emulated disk. The model is longer than 16 characters on purpose: sysfs only shows
# the first 16 (the INQUIRY product field), the whole model comes from IDENTIFY.
DISK = guest_checks.DiskFacts(
    model="NORVIK QEMU AHCI TEST DISK 5731-X",
    serial="DSQ2026120607",
    firmware="QF1.2.3",
    size_mib=256,
)

# Extra disks for the erase checks, on the next AHCI ports. The unmapping disk is larger than one TRIM block (4,194,240
# sectors), so the erase sends several.
ERASE_DISKS = [guest_checks.EraseDisk(role, guest_checks.DiskFacts(
    model=f"DS ERASE {role.upper()} DISK", serial=serial, firmware="QE1", size_mib=mib), discard)
    for role, serial, mib, discard in [("unmap", "DSE2026UNMAP1", 2100, "unmap"),
                                       ("keeps", "DSE2026KEEPS2", 16, "ignore"),
                                       ("parted", "DSE2026PARTD3", 16, "unmap")]]

# Modules the guest loads (with everything modules.dep says they need). ext4 also
# mounts ext2; crc32c_generic serves its checksums when the CPU has no CRC32 instruction.
WANTED_MODULES = ["ahci", "sd_mod", "sg", "ext4"]
OPTIONAL_MODULES = ["crc32c_generic"]

HOST_TOOLS = {
    "qemu-system-x86_64": "qemu-system-x86",
    "busybox": "busybox-static",
    "smartctl": "smartmontools",
    "hdparm": "hdparm",
    "cpio": "cpio",
    "depmod": "kmod",
    "modprobe": "kmod",
    "dpkg": "dpkg",
    "apt-get": "apt",
    "objcopy": "binutils",
}

QEMU_TIMEOUT_SECONDS = 420


class HarnessError(Exception):
    """A failure of the test set-up (tools, kernel, boot), reported as such."""


def log(text):
    print(text, flush=True)


def find_tool(name):
    path = shutil.which(name, path=os.environ.get("PATH", "") + ":/usr/sbin:/sbin:/usr/bin:/bin")
    if not path:
        raise HarnessError(f"'{name}' not found: install the Debian package "
                           f"'{HOST_TOOLS[name]}' (scripts/install-deps.sh does)")
    return path


def run(argv, **kwargs):
    return subprocess.run(argv, check=False, capture_output=True, text=True, **kwargs)


# --- Kernel -------------------------------------------------------------------------------


def module_name(path):
    base = os.path.basename(path)
    for suffix in (".ko.xz", ".ko"):
        if base.endswith(suffix):
            base = base[: -len(suffix)]
            break
    return base.replace("-", "_")


def load_order(base, kver):
    """Module paths of the unpacked kernel in an order where each follows what it needs,
    as modprobe resolves them from modules.dep (helpers first, so those using them find
    them)."""
    order = []
    for name in OPTIONAL_MODULES + WANTED_MODULES:
        shown = run([find_tool("modprobe"), "-d", base, "-S", kver, "--show-depends", name])
        if shown.returncode != 0 and name in WANTED_MODULES:
            raise HarnessError(f"kernel module '{name}' not found: {shown.stderr.strip()}")
        for line in shown.stdout.splitlines():
            words = line.split()
            if words[:1] == ["insmod"] and words[1] not in order:
                order.append(words[1])
    return order


def kernel_package():
    """(package, version) of the kernel image linux-image-amd64 depends on, or None."""
    result = run(["apt-cache", "depends", "--no-recommends", "--no-suggests",
                  "linux-image-amd64"])
    match = re.search(r"Depends:\s*(linux-image-[0-9][^\s<>]*)", result.stdout)
    if not match:
        return None
    package = match.group(1)
    show = run(["apt-cache", "show", "--no-all-versions", package])
    version = re.search(r"^Version:\s*(\S+)", show.stdout, re.M)
    return package, version.group(1) if version else "unknown"


def cached_kernels(cache):
    if not os.path.isdir(cache):
        return []
    return sorted(entry for entry in os.listdir(cache)
                  if entry.startswith("kernel-") and
                  os.path.isfile(os.path.join(cache, entry, "complete")))


def prepare_kernel(cache):
    """Downloads and unpacks the kernel once; returns the folder with vmlinuz and modules."""
    os.makedirs(cache, exist_ok=True)
    resolved = kernel_package()
    if resolved is None and os.geteuid() == 0:
        log("apt knows no linux-image-amd64; updating the package lists")
        run(["apt-get", "update", "-q"])
        resolved = kernel_package()
    if resolved is None:
        have = cached_kernels(cache)
        if have:
            return os.path.join(cache, have[-1])
        raise HarnessError("cannot resolve Debian's linux-image-amd64 (no apt lists?) and no "
                           "kernel is cached")
    package, version = resolved
    folder = os.path.join(cache, "kernel-" + re.sub(r"[^A-Za-z0-9.+-]", "_",
                                                    f"{package}_{version}"))
    if os.path.isfile(os.path.join(folder, "complete")):
        return folder

    log(f"fetching {package} {version} (cached afterwards in {cache})")
    work = tempfile.mkdtemp(prefix="kernel-unpack-", dir=cache)
    try:
        download = run(["apt-get", "download", f"{package}={version}"], cwd=work)
        debs = [name for name in os.listdir(work) if name.endswith(".deb")]
        if download.returncode != 0 or not debs:
            have = cached_kernels(cache)
            if have:
                log(f"apt-get download {package} failed; using the cached {have[-1]}")
                return os.path.join(cache, have[-1])
            raise HarnessError(f"apt-get download {package} failed:\n{download.stderr}")
        root = os.path.join(work, "root")
        unpack = run(["dpkg", "-x", os.path.join(work, debs[0]), root])
        if unpack.returncode != 0:
            raise HarnessError(f"dpkg -x failed:\n{unpack.stderr}")
        base = root if os.path.isdir(os.path.join(root, "lib/modules")) else root + "/usr"
        if not os.path.isdir(os.path.join(base, "lib/modules")):
            raise HarnessError("the kernel package holds no modules folder")
        kver = sorted(os.listdir(os.path.join(base, "lib/modules")))[-1]
        depmod = run([find_tool("depmod"), "-b", base, kver])
        if depmod.returncode != 0:
            raise HarnessError(f"depmod failed:\n{depmod.stderr}")
        order = load_order(base, kver)

        staging = tempfile.mkdtemp(prefix="kernel-", dir=cache)
        os.makedirs(os.path.join(staging, "modules"))
        shutil.copyfile(os.path.join(root, "boot", f"vmlinuz-{kver}"),
                        os.path.join(staging, "vmlinuz"))
        names = []
        for source in order:
            name = module_name(source)
            target = os.path.join(staging, "modules", name + ".ko")
            if source.endswith(".xz"):
                with lzma.open(source) as packed, open(target, "wb") as plain:
                    shutil.copyfileobj(packed, plain)
            elif source.endswith(".ko"):
                shutil.copyfile(source, target)
            else:
                raise HarnessError(f"cannot unpack module {source}")
            names.append(name)
        with open(os.path.join(staging, "modules.order"), "w", encoding="utf-8") as listing:
            listing.write("\n".join(names) + "\n")
        with open(os.path.join(staging, "kernel-version"), "w", encoding="utf-8") as kfile:
            kfile.write(kver + "\n")
        with open(os.path.join(staging, "complete"), "w", encoding="utf-8") as done:
            done.write(f"{package} {version}\n")
        if os.path.isdir(folder):
            shutil.rmtree(folder)
        os.rename(staging, folder)
        return folder
    finally:
        shutil.rmtree(work, ignore_errors=True)


# --- Initramfs ----------------------------------------------------------------------------


def shared_libraries(executable):
    """Absolute paths of the shared libraries (and loader) ldd lists for a program."""
    result = run(["ldd", executable])
    if result.returncode != 0:
        if "not a dynamic executable" in result.stdout + result.stderr:
            return []
        raise HarnessError(f"ldd {executable} failed:\n{result.stderr}")
    paths = []
    for line in result.stdout.splitlines():
        if "not found" in line:
            raise HarnessError(f"{executable}: library missing: {line.strip()}")
        match = re.search(r"=>\s*(/\S+)", line) or re.match(r"\s*(/\S+)", line)
        if match:
            paths.append(match.group(1))
    return paths


def copy_into(root, source, target=None, strip=False):
    target = os.path.join(root, (target or source).lstrip("/"))
    os.makedirs(os.path.dirname(target), exist_ok=True)
    if strip:
        stripped = run(["objcopy", "--strip-debug", source, target])
        if stripped.returncode != 0:
            raise HarnessError(f"objcopy {source} failed:\n{stripped.stderr}")
    else:
        shutil.copyfile(os.path.realpath(source), target)
    shutil.copymode(os.path.realpath(source), target)


def install_program(root, source, target, strip=False):
    copy_into(root, source, target, strip)
    for library in shared_libraries(source):
        if not os.path.exists(os.path.join(root, library.lstrip("/"))):
            copy_into(root, library)


def write_text(root, path, text, mode=0o644):
    full = os.path.join(root, path.lstrip("/"))
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "w", encoding="utf-8") as handle:
        handle.write(text)
    os.chmod(full, mode)


def build_initramfs(kernel, run_dir, program, smart_paths):
    root = os.path.join(run_dir, "root")
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(os.path.join(root, "bin"))
    copy_into(root, find_tool("busybox"), "/bin/busybox")
    os.symlink("busybox", os.path.join(root, "bin", "sh"))
    for tool in ("smartctl", "hdparm"):
        install_program(root, find_tool(tool), f"/usr/sbin/{tool}")

    kver = open(os.path.join(kernel, "kernel-version"), encoding="utf-8").read().strip()
    module_target = os.path.join(root, "lib", "modules", kver)
    os.makedirs(module_target)
    for name in os.listdir(os.path.join(kernel, "modules")):
        shutil.copyfile(os.path.join(kernel, "modules", name), os.path.join(module_target, name))
    os.makedirs(os.path.join(root, "etc"))
    shutil.copyfile(os.path.join(kernel, "modules.order"), os.path.join(root, "etc", "ds-modules"))
    write_text(root, "/etc/ds-kernel-version", kver + "\n")

    if program:
        install_program(root, program, "/opt/ds/drivesentinel", strip=True)
        data = os.path.join(os.path.dirname(program), "data")
        if os.path.isdir(data):
            shutil.copytree(data, os.path.join(root, "opt", "ds", "data"), symlinks=False,
                            ignore=shutil.ignore_patterns("sim"))
        write_text(root, "/etc/ds-program", "/opt/ds/drivesentinel\n")
    if smart_paths:
        install_program(root, smart_paths, "/opt/ds/smart_paths", strip=True)

    write_text(root, "/etc/ds-disks", f"main|{DISK.serial}\n" + "".join(
        f"{d.role}|{d.facts.serial}\n" for d in ERASE_DISKS))
    write_text(root, "/etc/passwd", "root:x:0:0:root:/root:/bin/sh\n"
               "tester:x:1000:1000:tester:/tmp:/bin/sh\n")
    write_text(root, "/etc/group", "root:x:0:\ntester:x:1000:\n")
    shutil.copyfile(os.path.join(HERE, "guest", "init"), os.path.join(root, "init"))
    os.chmod(os.path.join(root, "init"), 0o755)
    shutil.copyfile(os.path.join(HERE, "guest", "payload.sh"), os.path.join(root, "payload.sh"))

    image = os.path.join(run_dir, "initramfs.cpio")
    files = subprocess.run(["find", "."], cwd=root, check=True, capture_output=True).stdout
    with open(image, "wb") as archive:
        packed = subprocess.run([find_tool("cpio"), "--quiet", "-o", "-H", "newc", "-R", "0:0"],
                                cwd=root, input=files, stdout=archive, stderr=subprocess.PIPE,
                                check=False)
    if packed.returncode != 0:
        raise HarnessError(f"cpio failed:\n{packed.stderr.decode(errors='replace')}")
    shutil.rmtree(root, ignore_errors=True)
    return image


# --- Boot ---------------------------------------------------------------------------------


def boot(kernel, initramfs, run_dir, report):
    disks = [(DISK, "unmap")] + [(d.facts, d.discard) for d in ERASE_DISKS]
    images = [os.path.join(run_dir, f"disk{port}.img") for port in range(len(disks))]
    nonce = secrets.token_hex(8)
    argv = [
        find_tool("qemu-system-x86_64"), "-machine", "q35", "-accel", "tcg", "-m", "512",
        "-smp", "1", "-nographic", "-nodefaults", "-serial", "stdio", "-monitor", "none",
        "-no-reboot",
        "-kernel", os.path.join(kernel, "vmlinuz"), "-initrd", initramfs,
        "-append", f"console=ttyS0 quiet loglevel=1 panic=-1 ds.nonce={nonce}",
    ]
    for port, ((facts, discard), disk) in enumerate(zip(disks, images)):
        with open(disk, "wb") as image:
            image.truncate(facts.size_mib * 1024 * 1024)
        argv += ["-drive", f"if=none,id=d{port},file={disk},format=raw,discard={discard}",
                 "-device", f"ide-hd,bus=ide.{port},drive=d{port},model={facts.model},"
                            f"serial={facts.serial},ver={facts.firmware},rotation_rate=1"]
    log("booting: " + " ".join(argv))
    try:
        completed = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True,
                                   timeout=QEMU_TIMEOUT_SECONDS, check=False)
    except subprocess.TimeoutExpired as expired:
        console = (expired.stdout or b"").decode("utf-8", errors="replace")
        _save(run_dir, "console.log", console)
        raise HarnessError(f"the guest did not power off within {QEMU_TIMEOUT_SECONDS} s; "
                           f"console tail:\n{console[-3000:]}") from None
    finally:
        # What the erase left in the images, seen from the host.
        left = [guest_checks.first_nonzero_offset(disk) for disk in images]
        for disk in images:
            os.unlink(disk)
    report.check(left[1] is None, "erase: the erased disk's image holds only zeros", str(left[1]))
    report.check(left[2] is not None, "erase: the disk whose TRIM keeps data still holds it")
    console = completed.stdout.decode("utf-8", errors="replace").replace("\r", "")
    _save(run_dir, "console.log", console)
    if completed.returncode != 0:
        raise HarnessError(f"QEMU failed (exit {completed.returncode}): "
                           f"{completed.stderr.decode(errors='replace').strip()}\n"
                           f"console tail:\n{console[-3000:]}")
    try:
        return guest_checks.parse_console(console, nonce)
    except ValueError as error:
        raise HarnessError(str(error)) from None


def _save(folder, name, text):
    with open(os.path.join(folder, name), "w", encoding="utf-8") as handle:
        handle.write(text)


# --- Main ---------------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--program", help="the drivesentinel executable (its data/ beside it)")
    parser.add_argument("--smart-paths", help="the smart_paths probe executable")
    args = parser.parse_args()

    build_dir = os.path.abspath(args.build_dir)
    cache = os.path.join(build_dir, "qemu-cache")
    run_dir = os.path.join(build_dir, "qemu-run")
    for tool in HOST_TOOLS:
        find_tool(tool)
    for path in (args.program, args.smart_paths):
        if path and not os.access(path, os.X_OK):
            raise HarnessError(f"{path} is not an executable")

    shutil.rmtree(run_dir, ignore_errors=True)
    os.makedirs(os.path.join(run_dir, "out"))
    kernel = prepare_kernel(cache)
    initramfs = build_initramfs(kernel, run_dir, args.program and os.path.abspath(args.program),
                                args.smart_paths and os.path.abspath(args.smart_paths))
    image_report = guest_checks.CheckReport()
    guest = boot(kernel, initramfs, run_dir, image_report)
    for name, text in guest.files.items():
        _save(os.path.join(run_dir, "out"), name, text)
    log(f"guest outputs kept in {run_dir}/out")

    data_dir = os.path.join(os.path.dirname(args.program), "data") if args.program else ""

    def attribute_table(series):
        path = os.path.join(data_dir, "SMART2.dat" if series in (1, 2) else "SMART.dat")
        if not os.path.isfile(path):
            return None
        with open(path, encoding="latin-1") as table:
            return table.read()

    report = guest_checks.check_guest(guest, DISK, args.program is not None, attribute_table,
                                      with_smart_paths=bool(args.smart_paths),
                                      disk_count=1 + len(ERASE_DISKS))
    if args.program:
        report.lines += image_report.lines
        report.failures += image_report.failures
    for line in report.lines:
        log(line)
    if guest.exit_code != 0:
        log(f"FAIL: the guest payload exited with {guest.exit_code}; "
            f"payload log:\n{guest.files.get('payload.log', '')}")
        return 1
    if report.failures:
        log(f"{report.failures} check(s) failed")
        return 1
    unchecked = sum(line.startswith("NOT CHECKED") for line in report.lines)
    log("all guest checks passed" + (f"; {unchecked} not checked (see above)" if unchecked else ""))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except HarnessError as error:
        print(f"FAIL: {error}", file=sys.stderr, flush=True)
        sys.exit(1)
