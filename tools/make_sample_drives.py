#!/usr/bin/env python3
"""Writes the sample machine of data/sim/demo: one folder per drive with the IDENTIFY,
S.M.A.R.T. data and threshold sectors and the drive description.

Run from the repository root: python3 tools/make_sample_drives.py [OUTPUT_FOLDER]
The sectors are self-consistent: IDENTIFY word 255 carries a valid integrity word, both
S.M.A.R.T. sectors end in a valid checksum byte, capacities agree with the 28/48-bit
counts, and the normalised values agree with the raw ones (health from erase counts,
temperature attribute as 100 - degrees where the maker does so).
"""
import os
import struct
import sys

# ---------------------------------------------------------------------------- IDENTIFY


def ata_text(words, first, count, text):
    text = text.ljust(count * 2)[: count * 2].encode("ascii")
    for i in range(count):
        words[first + i] = (text[2 * i] << 8) | text[2 * i + 1]


def identify_sector(d):
    w = [0] * 256
    w[0] = d["word0"]
    sectors = d["sectors"]
    w[1], w[3], w[6] = 16383, 16, 63
    w[2] = 0xC837
    ata_text(w, 10, 10, d["serial"].rjust(20))  # serials are right-aligned, blank-padded
    ata_text(w, 23, 4, d["firmware"])
    ata_text(w, 27, 20, d["model"])
    w[47] = 0x8010
    w[49] = 0x2F00  # LBA, DMA, IORDY, standby timer
    w[50] = 0x4000
    w[53] = 0x0007  # words 54-58, 64-70 and 88 valid
    w[54], w[55], w[56] = 16383, 16, 63
    w[57], w[58] = 16514064 & 0xFFFF, 16514064 >> 16
    w[59] = 0x0110
    lba28 = min(sectors, 0x0FFFFFFF)
    w[60], w[61] = lba28 & 0xFFFF, lba28 >> 16
    w[63] = 0x0407
    w[64] = d["pio_word"]
    w[65] = w[66] = w[67] = w[68] = 0x0078
    w[75] = 0x001F if d["ncq"] else 0
    w[76] = d["sata_caps"] | (0x0100 if d["ncq"] else 0)
    w[78] = 0x0048 if d["ncq"] else 0x0040
    w[79] = 0x0040
    w[80] = d["major"]
    w[81] = d["minor"]
    w[82] = d["w82"]
    w[83] = d["w83"]
    w[84] = 0x4163
    w[85] = d["w85"]
    w[86] = d["w86"]
    w[87] = 0x4163
    w[88] = d["udma"]
    if d["w82"] & 0x0002:  # security feature set
        w[89], w[90] = 0x0001, 0x0001
        w[92] = 0xFFFE
    w[93] = 0
    if d["w83"] & 0x0400:
        for i in range(4):
            w[100 + i] = (sectors >> (16 * i)) & 0xFFFF
    w[106] = 0x4000
    if "wwn" in d:
        for i in range(4):
            w[108 + i] = (d["wwn"] >> (16 * (3 - i))) & 0xFFFF
    w[128] = d["w128"]
    w[169] = 0x0001 if d["trim"] else 0
    w[105] = 8 if d["trim"] else 0  # DATA SET MANAGEMENT: up to 8 blocks of ranges
    w[217] = 0x0001  # solid state
    w[222] = d["transport"]
    raw = bytearray(struct.pack("<256H", *w))
    raw[510] = 0xA5
    raw[511] = (-sum(raw[:511])) & 0xFF
    return bytes(raw)


# ---------------------------------------------------------------------------- S.M.A.R.T.


def with_checksum(sector):
    sector[511] = (-sum(sector[:511])) & 0xFF
    return bytes(sector)


def smart_sectors(attributes, signature=b""):
    data = bytearray(512)
    thresholds = bytearray(512)
    data[0:2] = struct.pack("<H", 0x0010)
    thresholds[0:2] = struct.pack("<H", 0x0010)
    for i, (ident, flags, current, worst, threshold, raw) in enumerate(attributes):
        offset = 2 + 12 * i
        if isinstance(raw, (bytes, bytearray)):
            raw_bytes = bytes(raw).ljust(6, b"\0")
        else:
            raw_bytes = raw.to_bytes(6, "little")
        data[offset : offset + 12] = struct.pack("<BHBB", ident, flags, current, worst) + raw_bytes + b"\0"
        thresholds[offset] = ident
        thresholds[offset + 1] = threshold
    data[362] = 0x00  # off-line data collection never started
    data[363] = 0x00  # last self-test completed without error
    data[364:366] = struct.pack("<H", 30)
    data[367] = 0x5B
    data[368:370] = struct.pack("<H", 0x0003)
    data[370] = 0x01
    data[372] = 2
    data[373] = 30
    data[400 : 400 + len(signature)] = signature
    return with_checksum(data), with_checksum(thresholds)


def temperature_raw(now, lowest, highest):
    return bytes([now, 0, lowest, 0, highest, 0])


# ---------------------------------------------------------------------------- the drives

GIB = 1024 ** 3

DRIVES = [
    {
        "folder": "0-qra-x50",
        # Two read errors on the disk's error log (READ DMA EXT, uncorrectable).
        "errors": [(0x25, 0x40, 0x51, 73912054, 1187), (0x25, 0x40, 0x51, 120004211, 2410)],
        "word0": 0x0040,
        "model": "QRA-X50 256GB SATA SSD",
        "serial": "QRA50C2208150042",
        "firmware": "S0911A0",
        "sectors": 500118192,
        "pio_word": 0x0003,   # PIO 4
        "udma": 0x407F,       # UDMA 0-6, mode 6 selected
        "sata_caps": 0x000E,  # Gen1, Gen2, Gen3
        "ncq": True,
        "trim": True,
        "major": 0x07F0,      # ACS-3 and earlier
        "minor": 0x011B,
        "w82": 0x746B,        # SMART, security, PM, write cache, look-ahead, HPA, buffers, NOP
        "w83": 0x7408,        # 48-bit, flush cache (ext), APM
        "w85": 0x7469 | 0x0400,
        "w86": 0xB408,
        "w128": 0x0021,       # security supported, enhanced erase
        "wwn": 0x5001B44A1C2D3E4F,
        "transport": 0x107F,
        "signature": b"SM2246",
        "vendor_figure": 333412,  # 500118192 / 333412 = 1500 blocks: the "2048" class
        "attributes": [
            (1, 0x000B, 100, 100, 50, 0),
            (5, 0x0013, 100, 100, 10, 2),
            (9, 0x0012, 100, 100, 0, 6240),
            (12, 0x0012, 100, 100, 0, 1187),
            (160, 0x0000, 100, 100, 0, 0),
            (161, 0x0013, 100, 100, 10, 115),
            (163, 0x0000, 100, 100, 0, 11),
            # Half-way through its rated cycles, so the generated year of history shows a
            # remaining lifespan (two years) on the Health page.
            (164, 0x0000, 100, 100, 0, 1536000),
            (165, 0x0000, 100, 100, 0, 1620),
            (166, 0x0000, 100, 100, 0, 1390),
            (167, 0x0000, 100, 100, 0, 1500),
            (168, 0x0012, 100, 100, 0, 3000),
            (169, 0x0000, 50, 50, 0, 50),
            (175, 0x0000, 100, 100, 10, 0),
            (176, 0x0000, 100, 100, 0, 0),
            (177, 0x0000, 100, 100, 0, 0),
            (178, 0x0000, 100, 100, 0, 0),
            (181, 0x0000, 100, 100, 0, 0),
            (182, 0x0000, 100, 100, 0, 0),
            (192, 0x0012, 100, 100, 0, 41),
            (194, 0x0022, 100, 100, 0, temperature_raw(38, 22, 51)),
            (195, 0x0000, 100, 100, 0, 0),
            (196, 0x0016, 100, 100, 0, 2),
            (197, 0x0012, 100, 100, 0, 0),
            (198, 0x0010, 100, 100, 0, 0),
            (199, 0x003E, 100, 100, 50, 3),
            (241, 0x0032, 100, 100, 0, 18744),
            (242, 0x0032, 100, 100, 0, 25031),
        ],
        "description": [
            "bus_type=11",
            "volume_count=1",
            "volume_1_mount=/",
            "volume_1_label=rootfs",
            "volume_1_fs=ext4",
            "volume_1_free=%d" % (141 * GIB),
            "volume_1_total=%d" % (234 * GIB),
        ],
    },
    {
        "folder": "1-qrb-x52",
        "word0": 0x0040,
        "model": "QRB-X52 128GB",
        "serial": "QRB52D2011070311",
        "firmware": "B52R110",
        "sectors": 250069680,
        "pio_word": 0x0003,
        "udma": 0x203F,       # UDMA 0-5, mode 5 selected
        "sata_caps": 0x0006,  # Gen1, Gen2
        "ncq": True,
        "trim": True,
        "major": 0x03F0,      # ACS-2
        "minor": 0x0110,
        "w82": 0x7469,        # no security; HPA supported
        "w83": 0x7400,
        "w85": 0x7069,        # HPA not enabled
        "w86": 0xB400,
        "w128": 0x0000,
        "wwn": 0x5001B44A2B3C4D5E,
        "transport": 0x101F,
        "signature": b"",
        "attributes": [
            (1, 0x000B, 100, 100, 50, 0),
            (5, 0x0013, 100, 100, 10, 0),
            (9, 0x0012, 100, 100, 0, 14210),
            (12, 0x0012, 100, 100, 0, 2301),
            (167, 0x0000, 100, 100, 0, 905),
            (168, 0x0012, 100, 100, 0, 5000),
            (170, 0x0013, 99, 99, 10, 98),
            (171, 0x0032, 100, 100, 0, 0),
            (172, 0x0032, 100, 100, 0, 0),
            (173, 0x0000, 100, 100, 0, 905),
            (174, 0x0030, 100, 100, 0, 37),
            (187, 0x0032, 100, 100, 0, 0),
            (194, 0x0022, 59, 43, 0, temperature_raw(41, 18, 57)),
            (196, 0x0032, 100, 100, 0, 1),
            (199, 0x0032, 100, 100, 0, 0),
            (231, 0x0013, 82, 82, 10, 82),
            (232, 0x0013, 100, 100, 10, 100),
            (233, 0x0032, 100, 100, 0, 115840),
            (241, 0x0032, 100, 100, 0, 97210),
            (242, 0x0032, 100, 100, 0, 120335),
        ],
        "description": [
            "bus_type=11",
            "volume_count=2",
            "volume_1_mount=/data",
            "volume_1_label=data",
            "volume_1_fs=ext4",
            "volume_1_free=%d" % (37 * GIB),
            "volume_1_total=%d" % (78 * GIB),
            "volume_2_mount=/home",
            "volume_2_label=home",
            "volume_2_fs=xfs",
            "volume_2_free=%d" % (12 * GIB),
            "volume_2_total=%d" % (38 * GIB),
        ],
    },
    {
        "folder": "2-qrc-x57",
        "word0": 0x848A,      # CFast: CompactFlash signature
        "model": "QRC-X57 32GB CFast",
        "serial": "QRC57F1905220107",
        "firmware": "C57F09",
        "sectors": 62533296,
        "pio_word": 0x0003,
        "udma": 0x101F,       # UDMA 0-4, mode 4 selected
        "sata_caps": 0x0006,  # Gen1, Gen2
        "ncq": False,
        "trim": False,
        "major": 0x01F0,      # ATA8-ACS
        "minor": 0x0029,
        "w82": 0x7069,        # SMART supported; no security, no HPA
        "w83": 0x5004,        # no 48-bit addressing; CFA feature set
        "w85": 0x7068,        # SMART not enabled at power-on
        "w86": 0x1004,
        "w128": 0x0000,
        "transport": 0x100F,
        "signature": b"",
        "attributes": [
            (1, 0x000B, 100, 100, 50, 0),
            (5, 0x0013, 100, 100, 10, 0),
            (9, 0x0012, 100, 100, 0, 812),
            (12, 0x0012, 100, 100, 0, 96),
            (167, 0x0000, 100, 100, 0, 41),
            (168, 0x0012, 100, 100, 0, 0),   # limit not reported: the default applies
            (170, 0x0013, 100, 100, 10, 100),
            (194, 0x0022, 100, 100, 0, temperature_raw(45, 20, 61)),
            (231, 0x0013, 99, 99, 10, 99),
        ],
        "description": [
            "bus_type=11",
            "smart_enabled=0",
            "trim_supported=1",  # no volume on it: the Tool page's erase can be tried here
        ],
    },
    {
        "folder": "3-other-ssd",
        "word0": 0x0040,
        "model": "Veltrix VR480 SATA SSD",
        "serial": "VR480A7731204488",
        "firmware": "VR4R2.17",
        "sectors": 937703088,
        "pio_word": 0x0001,   # PIO 3
        "udma": 0x407F,
        "sata_caps": 0x000E,
        "ncq": True,
        "trim": True,
        "major": 0x0FF0,      # ACS-4
        "minor": 0x0000,
        "w82": 0x706B,        # SMART, security; no HPA
        "w83": 0x7400,
        "w85": 0x7069,
        "w86": 0xB400,
        "w128": 0x0001,
        "wwn": 0x5002538E4A1B2C3D,
        "transport": 0x107F,
        "signature": b"",
        "attributes": [
            (1, 0x0032, 100, 100, 50, 0),
            (9, 0x0032, 100, 100, 0, 3920),
            (12, 0x0032, 100, 100, 0, 412),
            (168, 0x0012, 100, 100, 0, 0),
            (170, 0x0000, 100, 100, 10, 23),
            (173, 0x0000, 200, 200, 0, 0x001A000E0021),
            (192, 0x0012, 100, 100, 0, 27),
            (194, 0x0022, 67, 60, 0, temperature_raw(33, 19, 40)),
            (218, 0x0032, 100, 100, 50, 0),
            (231, 0x0000, 97, 97, 0, 97),
            (233, 0x0032, 100, 100, 0, 4410),
            (241, 0x0030, 100, 100, 0, 5122),
            (242, 0x0030, 100, 100, 0, 6907),
        ],
        "description": [
            "bus_type=11",
            "volume_count=1",
            "volume_1_mount=/srv",
            "volume_1_label=",
            "volume_1_fs=btrfs",
            "volume_1_free=%d" % (301 * GIB),
            "volume_1_total=%d" % (447 * GIB),
        ],
    },
]

# Drives that answer no ATA command: only a description.
PLAIN_DRIVES = [
    {
        "folder": "4-usb-stick",
        "description": [
            "bus_type=7",
            "removable=1",
            "vendor=Kingmax ",
            "product=Flash Disk      ",
            "revision=1.00",
            "size_bytes=%d" % 31004295168,
            "usb_serial=0719AF0123456789",
            "usb_speed=480",
            "usb_vendor_id=0x13FE",
            "usb_product_id=0x4200",
            "volume_count=1",
            "volume_1_mount=/media/usb0",
            "volume_1_label=USBSTICK",
            "volume_1_fs=vfat",
            "volume_1_free=%d" % (22 * GIB),
            "volume_1_total=%d" % (28 * GIB),
        ],
    },
    {
        "folder": "5-nvme",
        "description": [
            "bus_type=17",
            "vendor=NVMe",
            "product=Veltrix NV1 512GB",
            "revision=2B2QEXM7",
            "descriptor_serial=S4EWNX0R123456",
            "size_bytes=%d" % 512110190592,
            "volume_count=1",
            "volume_1_mount=/mnt/scratch",
            "volume_1_label=scratch",
            "volume_1_fs=ext4",
            "volume_1_free=%d" % (390 * GIB),
            "volume_1_total=%d" % (469 * GIB),
        ],
    },
]


def vendor_pages(figure):
    """The two sectors an SM2246 controller returns for vendor page 1: the block figure the
    Internal page divides the capacity by, most significant byte first at bytes 604-607."""
    pages = bytearray(1024)
    pages[604:608] = struct.pack(">I", figure)
    return bytes(pages)


def error_logs(errors):
    """The log directory listing one page of the extended comprehensive error log (03h), and
    that page: entries of 124 bytes from byte 4, the failed command's structure at 72 in an
    entry and the error structure at 90, the index of the newest at bytes 2-3 and the error
    count at 500-501. `errors` are (command, error, status, LBA, power-on hours), oldest first."""
    directory = bytearray(512)
    directory[0], directory[2 * 0x03] = 1, 1
    log = bytearray(512)
    log[0] = 1
    struct.pack_into("<H", log, 2, len(errors))
    struct.pack_into("<H", log, 500, len(errors))
    for n, (command, error, status, lba, hours) in enumerate(errors):
        entry = 4 + 124 * n
        log[entry + 72 + 12] = command
        e = entry + 90
        low = lba.to_bytes(6, "little")
        log[e + 1], log[e + 11], log[e + 31] = error, status, 3  # state 3: active
        # LBA bytes alternate low and high: 7:0, 31:24, 15:8, 39:32, 23:16, 47:40.
        log[e + 4 : e + 10] = bytes([low[0], low[3], low[1], low[4], low[2], low[5]])
        struct.pack_into("<H", log, e + 32, hours)
    return bytes(directory), bytes(log)


def write(path, content):
    with open(path, "wb") as f:
        f.write(content)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join("data", "sim", "demo")
    os.makedirs(out, exist_ok=True)
    for d in DRIVES:
        folder = os.path.join(out, d["folder"])
        os.makedirs(folder, exist_ok=True)
        write(os.path.join(folder, "identify.bin"), identify_sector(d))
        data, thresholds = smart_sectors(d["attributes"], d["signature"])
        write(os.path.join(folder, "smart.bin"), data)
        write(os.path.join(folder, "thresholds.bin"), thresholds)
        write(os.path.join(folder, "description.dat"), ("\n".join(d["description"]) + "\n").encode())
        if "vendor_figure" in d:
            write(os.path.join(folder, "vendor_page_1.bin"), vendor_pages(d["vendor_figure"]))
        if "errors" in d:
            directory, log = error_logs(d["errors"])
            write(os.path.join(folder, "log-00.bin"), directory)
            write(os.path.join(folder, "log-03.bin"), log)
    for d in PLAIN_DRIVES:
        folder = os.path.join(out, d["folder"])
        os.makedirs(folder, exist_ok=True)
        write(os.path.join(folder, "description.dat"), ("\n".join(d["description"]) + "\n").encode())


if __name__ == "__main__":
    main()
