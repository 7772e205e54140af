#!/usr/bin/env python3
"""Writes testdata/sysfs-basic: a small /sys, /proc/self/mountinfo and /dev tree of a
machine with a SATA disk (two partitions), a second SATA disk with sparse attributes, a USB
stick, an NVMe disk, a parallel-ATA disk, a virtio disk and devices the enumeration must
ignore (loop, sr, a hub, a keyboard).

Run from the repository root: python3 tools/make_sysfs_fixture.py
"""
import os
import shutil

ROOT = os.path.join("tests", "fixtures", "sysfs-basic")


def write(path, content):
    full = os.path.join(ROOT, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    mode = "wb" if isinstance(content, bytes) else "w"
    with open(full, mode) as f:
        f.write(content)


def link(path, target):
    full = os.path.join(ROOT, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    os.symlink(target, full)


def block_device(name, device_folder, dev, sectors, removable="0", partitions=()):
    """A block device under `device_folder` (relative to sys/devices) with its partitions."""
    block = os.path.join("sys", "devices", device_folder, "block", name)
    if device_folder.endswith("/" + name) or "/nvme/" in device_folder or "virtio" in device_folder:
        block = os.path.join("sys", "devices", device_folder)
    write(os.path.join(block, "dev"), dev + "\n")
    write(os.path.join(block, "size"), "%d\n" % sectors)
    write(os.path.join(block, "removable"), removable + "\n")
    for part, part_dev in partitions:
        write(os.path.join(block, part, "partition"), "1\n")
        write(os.path.join(block, part, "dev"), part_dev + "\n")
    depth = block.count("/")
    link(os.path.join("sys", "block", name), "../" + block[len("sys/"):])
    return block


def scsi_disk(name, host_path, scsi_id, dev, sectors, vendor, model, rev, removable="0",
              partitions=(), vpd_serial=None):
    scsi = os.path.join(host_path, "target" + scsi_id.rsplit(":", 1)[0], scsi_id)
    block = block_device(name, scsi, dev, sectors, removable, partitions)
    device = os.path.join("sys", "devices", scsi)
    if vendor is not None:
        write(os.path.join(device, "vendor"), vendor + "\n")
    write(os.path.join(device, "model"), model + "\n")
    if rev is not None:
        write(os.path.join(device, "rev"), rev + "\n")
    if vpd_serial is not None:
        page = bytes([0x00, 0x80, 0x00, len(vpd_serial)]) + vpd_serial.encode()
        write(os.path.join(device, "vpd_pg80"), page)
    link(os.path.join(block, "device"), "../../../" + scsi_id)
    write(os.path.join("dev", name), "")


def main():
    if os.path.exists(ROOT):
        shutil.rmtree(ROOT)
    pci = "pci0000:00/0000:00:1f.2"
    write("sys/devices/%s/ata1/host0/scsi_host/host0/proc_name" % pci, "ahci\n")
    scsi_disk("sda", pci + "/ata1/host0", "0:0:0:0", "8:0", 500118192, "ATA     ",
              "Samsung SSD 860 ", "4B6Q", partitions=(("sda1", "8:1"), ("sda2", "8:2")),
              vpd_serial="S3Z9NB0K123456A     ")
    write("sys/devices/%s/ata2/host1/scsi_host/host1/proc_name" % pci, "ahci\n")
    # Second SATA disk: no vendor, rev or serial files at all.
    scsi_disk("sdb", pci + "/ata2/host1", "1:0:0:0", "8:16", 250069680, None, "QRB-X52 128GB",
              None, partitions=(("sdb1", "8:17"),))
    usb = "pci0000:00/0000:00:14.0/usb1/1-2"
    write("sys/devices/%s/idVendor" % usb, "0951\n")
    write("sys/devices/%s/idProduct" % usb, "1666\n")
    write("sys/devices/%s/serial" % usb, "60a44c413a8cf1a0b9390030\n")
    write("sys/devices/%s/speed" % usb, "480\n")
    write("sys/devices/%s/bDeviceClass" % usb, "00\n")
    scsi_disk("sdc", usb + "/1-2:1.0/host6", "6:0:0:0", "8:32", 60437492, "Kingston",
              "DataTraveler 3.0", "PMAP", removable="1")
    write("sys/devices/pci0000:00/0000:00:14.0/usb1/idVendor", "1d6b\n")
    write("sys/devices/pci0000:00/0000:00:14.0/usb1/idProduct", "0002\n")
    write("sys/devices/pci0000:00/0000:00:14.0/usb1/bDeviceClass", "09\n")
    write("sys/devices/pci0000:00/0000:00:14.0/usb1/speed", "480\n")
    keyboard = "pci0000:00/0000:00:14.0/usb1/1-3"
    write("sys/devices/%s/idVendor" % keyboard, "046d\n")
    write("sys/devices/%s/idProduct" % keyboard, "c31c\n")
    write("sys/devices/%s/speed" % keyboard, "1.5\n")
    write("sys/devices/%s/bDeviceClass" % keyboard, "00\n")
    write("sys/devices/%s/1-3:1.0/bInterfaceClass" % keyboard, "03\n")
    for entry, target in (("usb1", "pci0000:00/0000:00:14.0/usb1"), ("1-2", usb),
                          ("1-3", keyboard), ("1-3:1.0", keyboard + "/1-3:1.0")):
        link("sys/bus/usb/devices/" + entry, "../../../devices/" + target)
    # Parallel ATA disk behind a pata_ driver.
    pata = "pci0000:00/0000:00:1f.1"
    write("sys/devices/%s/ata5/host4/scsi_host/host4/proc_name" % pata, "pata_jmicron\n")
    scsi_disk("sdd", pata + "/ata5/host4", "4:0:0:0", "8:48", 39070080, "ATA     ",
              "IC25N020ATCS04-0", "CA2O")
    # NVMe: identity in the controller folder.
    nvme = "pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0"
    write("sys/devices/%s/model" % nvme, "Samsung SSD 970 EVO Plus 500GB          \n")
    write("sys/devices/%s/serial" % nvme, "S4EVNX0N123456K     \n")
    write("sys/devices/%s/firmware_rev" % nvme, "2B2QEXM7\n")
    block_device("nvme0n1", nvme + "/nvme0n1", "259:0", 976773168,
                 partitions=(("nvme0n1p1", "259:1"),))
    link("sys/devices/%s/nvme0n1/device" % nvme, "../../nvme0")
    write("dev/nvme0n1", "")
    # virtio disk, and devices that are never disks.
    block_device("vda", "pci0000:00/0000:00:02.0/virtio1/block/vda", "254:0", 41943040)
    write("dev/vda", "")
    block_device("loop0", "virtual/block/loop0", "7:0", 0)
    block_device("sr0", "pci0000:00/0000:00:1f.2/ata6/host5/target5:0:0/5:0:0:0/block/sr0",
                 "11:0", 0)
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
    link("dev/disk/by-label/EFI", "../../sda1")
    link("dev/disk/by-label/my\\x20label", "../../sdb1")
    link("dev/disk/by-label/USBKEY", "../../sdc")
    link("dev/disk/by-label/home", "../../nvme0n1p1")
    write("sys/class/dmi/id/board_name", "PRIME B450M-A\n")


if __name__ == "__main__":
    main()
