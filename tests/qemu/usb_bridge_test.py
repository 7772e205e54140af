#!/usr/bin/python3
"""Boots Debian's kernel under QEMU with an AHCI disk and QEMU's usb-storage disk (xHCI).

What QEMU 7.2's usb-storage disk (VID:PID 46f4:0001, speed 5000 on qemu-xhci, SCSI type 0,
kernel usb-storage driver) answered, as smartctl -r ioctl,2 shows it in usb_sat16.out and
usb_sat12.out:
  INQUIRY                                good: vendor "QEMU", product "QEMU HARDDISK"
  ATA PASS-THROUGH (16) IDENTIFY DEVICE  CHECK CONDITION, fixed sense 70h, ILLEGAL REQUEST,
  (85 08 0e ... ec 00)                   ASC/ASCQ 20h/00h (invalid command operation code),
                                         no data (residual 512)
  ATA PASS-THROUGH (12) IDENTIFY (PACKET) the same answer, for ec and a1 alike
  (a1 08 0e 00 01 ... ec 00 00)
So `report` lists it as a USB disk whose S.M.A.R.T. is not reachable, with its VID:PID, and the
AHCI disk reads as smartctl reads it. Kernel cached in DIR/qemu-cache-usb, outputs in
DIR/qemu-usb-run."""

import argparse, os, re, secrets, subprocess, sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import guest_checks  # noqa: E402
import guest_disk_test as harness  # noqa: E402

DISK = guest_checks.DiskFacts("NORVIK QEMU AHCI BESIDE USB 4410", "DSQUSB202612", "QU1.0", 64)
USB_MIB = 32
# The USB host controller and mass-storage driver besides the AHCI set.
harness.MODULES = harness.MODULES + ["xhci_pci", "usb_storage"]
UNREACHABLE = "S.M.A.R.T. is not reachable through this USB bridge (VID:PID 46f4:0001)"


def boot(kernel, initramfs, run_dir):
    images = [os.path.join(run_dir, name) for name in ("ahci.img", "usb.img")]
    for image, mib in zip(images, (DISK.size_mib, USB_MIB)):
        with open(image, "wb") as file:
            file.truncate(mib * 1024 * 1024)
    nonce = secrets.token_hex(8)
    argv = [harness.tool("qemu-system-x86_64"), "-machine", "q35", "-accel", "tcg", "-m", "512",
            "-smp", "1", "-nographic", "-nodefaults", "-serial", "stdio", "-monitor", "none",
            "-no-reboot", "-kernel", os.path.join(kernel, "vmlinuz"), "-initrd", initramfs,
            "-append", f"console=ttyS0 quiet loglevel=1 panic=-1 ds.nonce={nonce}",
            "-drive", f"if=none,id=d0,file={images[0]},format=raw",
            "-device", f"ide-hd,bus=ide.0,drive=d0,model={DISK.model},serial={DISK.serial},"
                       f"ver={DISK.firmware},rotation_rate=1",
            "-device", "qemu-xhci,id=xhci",
            "-drive", f"if=none,id=u0,file={images[1]},format=raw",
            "-device", "usb-storage,bus=xhci.0,drive=u0"]
    harness.log("booting: " + " ".join(argv))
    try:
        completed = subprocess.run(argv, stdin=subprocess.DEVNULL, capture_output=True, timeout=420)
        console = completed.stdout.decode("utf-8", errors="replace").replace("\r", "")
    except subprocess.TimeoutExpired as expired:
        completed, console = None, (expired.stdout or b"").decode("utf-8", errors="replace")
    finally:
        for image in images:
            os.unlink(image)
    harness.write_text(os.path.join(run_dir, "console.log"), console)
    if completed is None or completed.returncode != 0:
        raise harness.HarnessError(f"QEMU did not power off cleanly\nconsole tail:\n{console[-3000:]}")
    try:
        return guest_checks.parse_console(console, nonce)
    except ValueError as error:
        raise harness.HarnessError(str(error)) from None


def check(guest, attribute_table, report):
    files = guest.files
    report.check(guest.exit_code == 0, "the guest found both disks", files.get("payload.log", ""))
    sysfs = files.get("usb_sysfs.txt", "").strip()
    report.check(sysfs.startswith("46f4:0001 ") and sysfs.endswith(" type=0"),
                 "the USB disk is QEMU's 46f4:0001, a direct-access disk", sysfs)
    for name, block in (("usb_sat16", "(16): 85"), ("usb_sat12", "(12): a1")):  # smartctl's view
        said = guest_checks.said_by(files, name)
        report.check(f"ata pass-through{block}" in said and "sense_key=5 asc=20 ascq=0" in said,
                     f"{name}: QEMU answers ILLEGAL REQUEST, invalid opcode", said[:1500])
    peer = guest_checks.check_peer(files, DISK, report) or {}
    ours = guest_checks.load_json(files, "report_json", report)
    report.check(guest_checks.rc_of(files, "report_json") == 0, "report --all --json succeeds",
                 files.get("report_json.err", "")[:300])
    if ours is not None:
        report.check(ours.get("driveCount") == 1 and ours.get("enumeratedCount") == 2,
                     "two disks enumerated, the AHCI one kept",
                     f"{ours.get('enumeratedCount')} / {ours.get('driveCount')}")
        drive = guest_checks.find_drive(ours, DISK.serial)
        if report.check(drive is not None, "the AHCI disk is in the report"):
            guest_checks.check_drive_identity(drive, DISK, report, "report")
            guest_checks.check_attributes(drive, peer, attribute_table, report, "report")
        unreachable = ours.get("unreachableUsbDisks", [])
        report.check(len(unreachable) == 1 and unreachable[0].get("reason", "").startswith(
            UNREACHABLE) and "ILLEGAL REQUEST" in unreachable[0].get("reason", ""),
            "the USB disk is listed as unreachable, with its VID:PID", repr(unreachable))
    text = files.get("report_text.out", "")
    report.check(f"): {UNREACHABLE}" in text, "the text report names the USB disk", text[:600])
    report.check(not re.search(r"usb \S+: reset", files.get("dmesg.txt", "")),
                 "no USB reset: nothing timed out")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--build-dir", "--program", "--smart-paths"):
        parser.add_argument(option, required=True, type=os.path.abspath)
    args = parser.parse_args()
    [harness.tool(name) for name in harness.HOST_TOOLS]
    run_dir = os.path.join(args.build_dir, "qemu-usb-run")
    harness.shutil.rmtree(run_dir, ignore_errors=True)
    os.makedirs(run_dir)
    kernel = harness.prepare_kernel(os.path.join(args.build_dir, "qemu-cache-usb"))
    initramfs = harness.build_initramfs(kernel, run_dir, args.program, args.smart_paths,
                                        payload="usb_payload.sh")
    guest = boot(kernel, initramfs, run_dir)
    for name, text in guest.files.items():
        harness.write_text(os.path.join(run_dir, "out", name), text)

    def attribute_table(series):
        path = os.path.join(os.path.dirname(args.program), "data",
                            "SMART2.dat" if series in (1, 2) else "SMART.dat")
        return open(path, encoding="latin-1").read() if os.path.isfile(path) else None

    report = guest_checks.CheckReport()
    check(guest, attribute_table, report)
    harness.log("\n".join(report.lines))
    harness.log(f"{report.failures} check(s) failed" if report.failures else "all checks passed")
    return 1 if report.failures else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except harness.HarnessError as error:
        print(f"FAIL: {error}", file=sys.stderr, flush=True)
        sys.exit(1)
