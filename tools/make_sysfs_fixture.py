#!/usr/bin/env python3
"""Writes testdata/sysfs-basic: a small /sys, /proc/self/mountinfo and /dev tree of a
machine with a SATA disk (two partitions), a second SATA disk with sparse attributes, a USB
stick, an NVMe disk, a parallel-ATA disk, a virtio disk and devices the enumeration must
ignore (loop, sr, a hub, a keyboard).

Run from the repository root: python3 tools/make_sysfs_fixture.py
"""
import os
import shutil

ROOT = os.path.join("testdata", "sysfs-basic")
PCI, HUB = "pci0000:00/0000:00:1f.2", "pci0000:00/0000:00:14.0/usb1"
USB, KEYBOARD = HUB + "/1-2", HUB + "/1-3"
NVME = "pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0"


def write(path, content):
    full = os.path.join(ROOT, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb" if isinstance(content, bytes) else "w") as f:
        f.write(content)


def link(path, target):
    os.makedirs(os.path.dirname(os.path.join(ROOT, path)), exist_ok=True)
    os.symlink(target, os.path.join(ROOT, path))


def lines(folder, **values):
    """One file of one line per keyword in sys/devices/`folder`."""
    for name, value in values.items():
        write(os.path.join("sys", "devices", folder, name), value + "\n")


def block_device(name, device_folder, dev, sectors, removable="0", partitions=()):
    """A block device under `device_folder` (relative to sys/devices) with its partitions."""
    block = os.path.join("sys", "devices", device_folder, "block", name)
    if device_folder.endswith("/" + name) or "/nvme/" in device_folder or "virtio" in device_folder:
        block = os.path.join("sys", "devices", device_folder)
    lines(block[len("sys/devices/"):], dev=dev, size="%d" % sectors, removable=removable)
    for part, part_dev in partitions:
        lines(os.path.join(block[len("sys/devices/"):], part), partition="1", dev=part_dev)
    link(os.path.join("sys", "block", name), "../" + block[len("sys/"):])
    return block


def scsi_disk(name, host_path, scsi_id, dev, sectors, vendor, model, rev, removable="0",
              partitions=(), vpd_serial=None):
    scsi = os.path.join(host_path, "target" + scsi_id.rsplit(":", 1)[0], scsi_id)
    block = block_device(name, scsi, dev, sectors, removable, partitions)
    given = dict(vendor=vendor, model=model, rev=rev)
    lines(scsi, **{key: value for key, value in given.items() if value is not None})
    if vpd_serial is not None:
        write(os.path.join("sys", "devices", scsi, "vpd_pg80"),
              bytes([0x00, 0x80, 0x00, len(vpd_serial)]) + vpd_serial.encode())
    link(os.path.join(block, "device"), "../../../" + scsi_id)
    write(os.path.join("dev", name), "")


def main():
    if os.path.exists(ROOT):
        shutil.rmtree(ROOT)
    lines(PCI + "/ata1/host0/scsi_host/host0", proc_name="ahci")
    scsi_disk("sda", PCI + "/ata1/host0", "0:0:0:0", "8:0", 500118192, "ATA     ",
              "Samsung SSD 860 ", "4B6Q", partitions=(("sda1", "8:1"), ("sda2", "8:2")),
              vpd_serial="S3Z9NB0K123456A     ")
    lines(PCI + "/ata2/host1/scsi_host/host1", proc_name="ahci")
    # Second SATA disk: no vendor, rev or serial files at all.
    scsi_disk("sdb", PCI + "/ata2/host1", "1:0:0:0", "8:16", 250069680, None, "QRB-X52 128GB",
              None, partitions=(("sdb1", "8:17"),))
    lines(USB, idVendor="0951", idProduct="1666", serial="60a44c413a8cf1a0b9390030", speed="480",
          bDeviceClass="00")
    scsi_disk("sdc", USB + "/1-2:1.0/host6", "6:0:0:0", "8:32", 60437492, "Kingston",
              "DataTraveler 3.0", "PMAP", removable="1")
    lines(HUB, idVendor="1d6b", idProduct="0002", bDeviceClass="09", speed="480")
    lines(KEYBOARD, idVendor="046d", idProduct="c31c", speed="1.5", bDeviceClass="00")
    lines(KEYBOARD + "/1-3:1.0", bInterfaceClass="03")
    for entry, target in (("usb1", HUB), ("1-2", USB), ("1-3", KEYBOARD),
                          ("1-3:1.0", KEYBOARD + "/1-3:1.0")):
        link("sys/bus/usb/devices/" + entry, "../../../devices/" + target)
    # Parallel ATA disk behind a pata_ driver.
    lines("pci0000:00/0000:00:1f.1/ata5/host4/scsi_host/host4", proc_name="pata_jmicron")
    scsi_disk("sdd", "pci0000:00/0000:00:1f.1/ata5/host4", "4:0:0:0", "8:48", 39070080,
              "ATA     ", "IC25N020ATCS04-0", "CA2O")
    # NVMe: identity in the controller folder.
    lines(NVME, model="Samsung SSD 970 EVO Plus 500GB          ", serial="S4EVNX0N123456K     ",
          firmware_rev="2B2QEXM7")
    block_device("nvme0n1", NVME + "/nvme0n1", "259:0", 976773168,
                 partitions=(("nvme0n1p1", "259:1"),))
    link("sys/devices/%s/nvme0n1/device" % NVME, "../../nvme0")
    # virtio disk, and devices that are never disks.
    block_device("vda", "pci0000:00/0000:00:02.0/virtio1/block/vda", "254:0", 41943040)
    block_device("loop0", "virtual/block/loop0", "7:0", 0)
    block_device("sr0", PCI + "/ata6/host5/target5:0:0/5:0:0:0/block/sr0", "11:0", 0)
    for name in ("nvme0n1", "vda"):
        write("dev/" + name, "")
    write("proc/self/mountinfo", "\n".join([
        "22 27 0:21 / /proc rw,relatime - proc proc rw",
        "25 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw,errors=remount-ro",
        "26 25 8:1 / /boot/efi rw,relatime shared:2 - vfat /dev/sda1 rw,fmask=0022",
        "27 25 8:17 / /mnt/my\\040data rw,relatime shared:3 - ext4 /dev/sdb1 rw",
        "28 25 8:17 /sub /srv/bind rw,relatime shared:3 - ext4 /dev/sdb1 rw",
        "29 25 8:32 / /media/usb rw,nosuid,nodev - vfat /dev/sdc rw",
        "30 25 259:1 / /home rw,relatime shared:4 - xfs /dev/nvme0n1p1 rw",
        "31 25 7:0 / /snap/core rw - squashfs /dev/loop0 ro",
        "this line is not a mount",
        "32 25 8:48 / /old rw - ",
    ]) + "\n")
    for label, partition in (("EFI", "sda1"), ("my\\x20label", "sdb1"), ("USBKEY", "sdc"),
                             ("home", "nvme0n1p1")):
        link("dev/disk/by-label/" + label, "../../" + partition)
    write("sys/class/dmi/id/board_name", "PRIME B450M-A\n")


if __name__ == "__main__":
    main()
