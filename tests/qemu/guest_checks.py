"""Compares DriveSentinel's readings in the guest's output with smartctl's (pure: testable offline)."""

import json, os, re
from collections import namedtuple
from dataclasses import dataclass, field


@dataclass(frozen=True)
class DiskFacts:  # what QEMU is told about the emulated disk
    model: str
    serial: str
    firmware: str
    size_mib: int

    @property
    def sectors(self):
        return self.size_mib * 1024 * 1024 // 512


# An extra disk for the erase checks: its role and the discard= mode of its drive.
EraseDisk = namedtuple("EraseDisk", "role facts discard")
GuestOutput = namedtuple("GuestOutput", "files exit_code")
ERASE_DONE, ERASE_REFUSED, ERASE_FAILED = 0, 6, 7  # exit codes of "drivesentinel erase"


@dataclass
class CheckReport:
    lines: list = field(default_factory=list)
    failures: int = 0

    def check(self, ok, what, detail=""):
        detail = detail.strip()
        self.lines.append(f"{'ok  ' if ok else 'FAIL'} {what}" + (f": {detail}" if detail else ""))
        self.failures += not ok
        return ok


SATA_BUS_TYPE = 11
# The program's own words (its messages start with its name), not those of a wrapper.
RIGHTS_MESSAGE = re.compile(
    r"^drivesentinel\b.*\b(rights?|permission|privileges?|root|CAP_SYS_RAWIO)\b", re.I | re.M)


def parse_console(console, nonce):
    """Files framed by '@@DS-FILE nonce name' .. '@@DS-END nonce' (plus one newline), '@@DS-EXIT nonce rc'."""
    files = dict(re.findall(rf"^@@DS-FILE {nonce} (.*)\n((?:.*\n)*?)@@DS-END {nonce}$", console, re.M))
    exit_code = re.search(rf"^@@DS-EXIT {nonce} (\d+)$", console, re.M)
    if exit_code is None:
        raise ValueError(f"the guest did not report its exit code; console tail:\n{console[-3000:]}")
    return GuestOutput({name.strip(): text[:-1] for name, text in files.items()}, int(exit_code[1]))


def read_key_value(text):
    """key=value lines: keys in any case, the value after the first '=' right-trimmed."""
    table = {}
    for line in text.splitlines():
        if "=" in line:
            key, value = line.split("=", 1)
            table.setdefault(key.strip().lower(), value.rstrip(" \t\r"))
    return table


def leading_number(text, base):
    digits = "0123456789abcdef"[:base]
    text = text.strip().lower()
    if base == 16 and text.startswith("0x"):
        text = text[2:]
    value = 0
    for char in text:
        if char not in digits:
            break
        value = value * base + digits.index(char)
    return value


def attribute_table_ids(text):
    """Attribute ids a description table lists, in table order."""
    table = read_key_value(text)
    count = leading_number(table.get("attribute_amount", ""), 10)
    ids = []
    for i in range(count + 1):
        ident = table.get(f"attribute_id_{i}", "")
        desc = table.get(f"attribute_id_desc_{i}", "")
        if ident and desc:
            base = 16 if "x" in ident.lower() else 10
            ids.append(leading_number(ident, base) & 0xFF)
    return ids


def smartctl_attributes(smartctl):
    """{id: {current, worst, threshold, raw}} from smartctl -j output."""
    table = smartctl.get("ata_smart_attributes", {}).get("table", [])
    return {entry["id"]: {"current": entry["value"], "worst": entry["worst"],
                          "threshold": entry["thresh"], "raw": entry["raw"]["value"]}
            for entry in table}


def expected_attributes(peer, table_ids):
    """The disk's attributes the table names with a current or worst value, in table order, once."""
    expected, seen = [], set()
    for ident in table_ids:
        entry = peer.get(ident)
        if ident in seen or entry is None or (entry["current"] == 0 and entry["worst"] == 0):
            continue
        seen.add(ident)
        raw = entry["raw"] & 0xFF if ident == 194 else entry["raw"]
        expected.append({"id": ident, "current": entry["current"], "worst": entry["worst"],
                         "threshold": entry["threshold"], "raw": raw})
    return expected


def our_attributes(drive):
    return [{"id": a.get("id"), "current": a.get("current"), "worst": a.get("worst"),
             "threshold": a.get("threshold"), "raw": a.get("raw")}
            for a in drive.get("attributes", [])]


def find_drive(report, serial):
    drives = report.get("drives", []) if isinstance(report, dict) else []
    return next((d for d in drives if str(d.get("serial", "")).strip() == serial), None)


def load_json(files, name, report):
    text = files.get(name + ".out", "")
    try:
        return json.loads(text)
    except ValueError as error:
        report.check(False, f"{name} prints JSON", f"{error}; output: {text[:400]!r}; "
                     f"errors: {files.get(name + '.err', '')[:400]!r}")
        return None


def rc_of(files, name):
    return int(rc) if (rc := files.get(name + ".rc", "").strip()).isdigit() else None


def said_by(files, name):
    return files.get(name + ".out", "") + files.get(name + ".err", "")


def check_peer(files, disk, report):
    """smartctl's readings, which the rest is compared with, must be those of the disk."""
    peer = {}
    for name in ("smartctl_sat", "smartctl_ata"):
        rc = rc_of(files, name)
        # smartctl's exit status is a bit mask; bits 0-2 mean it could not read the disk.
        report.check(rc is not None and rc & 0x07 == 0, f"{name} reads the disk", f"exit {rc}")
        data = load_json(files, name, report)
        if data is None:
            continue
        for key, wanted in (("model_name", disk.model), ("serial_number", disk.serial),
                            ("firmware_version", disk.firmware)):
            report.check(data.get(key) == wanted, f"{name} {key}", repr(data.get(key)))
        blocks = data.get("user_capacity", {}).get("blocks")
        report.check(blocks == disk.sectors, f"{name} sector count", repr(blocks))
        report.check(data.get("smart_status", {}).get("passed") is True, f"{name} health passed")
        peer[name] = smartctl_attributes(data)
        report.check(len(peer[name]) > 0, f"{name} lists attributes", str(sorted(peer[name])))
    if len(peer) == 2:
        report.check(peer["smartctl_sat"] == peer["smartctl_ata"],
                     "smartctl reads the same attributes through SG_IO and HDIO")
    sysfs_model = files.get("sysfs_model.txt", "").strip()
    report.check(sysfs_model == disk.model[:16],
                 "sysfs shows the model cut to 16 characters", repr(sysfs_model))
    return peer.get("smartctl_sat")


def check_drive_identity(drive, disk, report, what):
    model = str(drive.get("model", ""))
    report.check(model.rstrip() == disk.model, f"{what}: model from IDENTIFY", repr(model))
    for key, wanted in (("serial", disk.serial), ("firmware", disk.firmware),
                        ("sectorCount", disk.sectors), ("busType", SATA_BUS_TYPE)):
        report.check(drive.get(key) == wanted, f"{what}: {key}", repr(drive.get(key)))


def check_attributes(drive, peer, table_text_by_series, report, what):
    series = drive.get("modelSeries", 0)
    table_text = table_text_by_series(series)
    if not report.check(table_text is not None, f"{what}: description table present"):
        return
    expected = expected_attributes(peer, attribute_table_ids(table_text))
    ours = our_attributes(drive)
    report.check(len(expected) > 0, f"{what}: the table names some of the disk's attributes",
                 str([e["id"] for e in expected]))
    report.check(ours == expected, f"{what}: attributes equal smartctl's",
                 f"ours {ours}, smartctl {expected}" if ours != expected else
                 f"{len(ours)} attributes")


def check_volume(drive, files, report):
    mountinfo = files.get("mountinfo.txt", "")
    if not report.check("/mnt/dsvol" in mountinfo, "guest mounted the test volume", mountinfo):
        return
    for key, wanted in (("driveLetters", "/mnt/dsvol"), ("fileSystems", "ext2"),
                        ("volumeLabels", "DSVOL")):
        listed = [part.strip() for part in str(drive.get(key, "")).split(",")]
        report.check(wanted in listed, f"volume {key} lists {wanted}", repr(listed))
    volume = next((v for v in drive.get("volumes", []) if v.get("mountPoint") == "/mnt/dsvol"), {})
    free, total, size = (int(x) for x in (files.get("statvfs.txt", "").split() + ["0"] * 3)[:3])
    report.check((volume.get("freeBytes"), volume.get("totalBytes")) == (free * size, total * size),
                 "the test volume's free and total bytes are statvfs's",
                 f"ours {volume}, statvfs {free * size}, {total * size}")


def check_unprivileged(files, report):
    for name in ("unprivileged_closed", "unprivileged_open"):
        rc, said = rc_of(files, name), said_by(files, name)
        report.check(rc not in (None, 0), f"{name}: fails without rights", f"exit {rc}")
        report.check(bool(RIGHTS_MESSAGE.search(said)), f"{name}: says it lacks the rights",
                     repr(said[:300]))


def check_smart_paths(files, peer, report):
    """Our pass-through and SMART driver reads must agree with each other and with smartctl."""
    data = load_json(files, "smart_paths", report)
    if data is None:
        return
    entry = lambda name: data.get(name) or {}
    for name in ("passThrough", "driver", "readSmartData", "thresholds", "thresholdsDriver"):
        report.check(entry(name).get("ok") is True, f"probe: {name} reads its sector",
                     entry(name).get("message", ""))
    for names in (("passThrough", "driver", "readSmartData"), ("thresholds", "thresholdsDriver")):
        sectors = {entry(name).get("data") for name in names}
        report.check(None not in sectors and len(sectors) == 1,
                     f"probe: {', '.join(names)} return the same sector")
    sector, thresholds = entry("passThrough").get("data"), entry("thresholds").get("data")
    if sector and thresholds:
        decoded = decode_smart_sectors(bytes.fromhex(sector), bytes.fromhex(thresholds))
        report.check(decoded == peer, "our sectors decode to smartctl's attributes",
                     "" if decoded == peer else f"ours {decoded}, smartctl {peer}")

    status = data.get("returnStatus", {})
    registers = status.get("registers", {})
    report.check(status.get("ok") is True and registers.get("lbaMid") == 0x4F and
                 registers.get("lbaHigh") == 0xC2 and registers.get("status") == 0x50,
                 "SMART RETURN STATUS brings back the registers (healthy: 4F/C2, status 50)",
                 str(registers))
    aborted = data.get("abortedCommand", {})
    registers = aborted.get("registers", {})
    report.check(aborted.get("ok") is False and (registers.get("status", 0) & 0x01) == 1 and
                 (registers.get("error", 0) & 0x04) == 0x04,
                 "an aborted command fails with ERR in status and ABRT in error",
                 f"{aborted.get('message', '')} {registers}")


def decode_smart_sectors(data, thresholds):
    """{id: {current, worst, threshold, raw}} from the data and threshold sectors."""
    limits = {}
    for offset in range(2, 362, 12):
        if offset + 2 <= len(thresholds) and thresholds[offset]:
            limits[thresholds[offset]] = thresholds[offset + 1]
    result = {}
    for offset in range(2, 362, 12):
        if offset + 12 > len(data) or data[offset] == 0:
            continue
        ident = data[offset]
        result.setdefault(ident, {"current": data[offset + 3], "worst": data[offset + 4],
                                  "threshold": limits.get(ident, 0),
                                  "raw": int.from_bytes(data[offset + 5:offset + 11], "little")})
    return result


def first_nonzero_offset(path):
    """Offset of the first non-zero byte of a sparse image file, or None; holes are skipped."""
    with open(path, "rb") as image:
        fd, at = image.fileno(), 0
        while True:
            try:
                at = os.lseek(fd, at, os.SEEK_DATA)
            except OSError:  # no data from here on
                return None
            chunk = os.pread(fd, min(1 << 20, os.lseek(fd, at, os.SEEK_HOLE) - at), at)
            if chunk.strip(b"\0"):
                return at + len(chunk) - len(chunk.lstrip(b"\0"))
            at += len(chunk)


def check_erase(files, report):
    """Held open: refused; QEMU unmaps: erased by TRIM; a TRIM that keeps data: never "erased"."""
    removal = "Please remove the file system first!"
    for name, code, what, texts in [
            ("held_open", ERASE_REFUSED, "a disk another process holds open is refused",
             [removal, "has /dev/"]),
            ("unmap", ERASE_DONE, "the disk QEMU unmaps is erased by TRIM", ["erased by TRIM"]),
            ("keeps", ERASE_FAILED, "a TRIM that keeps the data fails",
             ["still holds data", "does not support the ATA security feature set"])]:
        rc, said = rc_of(files, "erase_" + name), said_by(files, "erase_" + name)
        missing = [t for t in texts if t not in said]
        report.check(rc == code and not missing, "erase: " + what,
                     f"exit {rc}, expected {code}; missing {missing}; said {said[-600:]!r}")


SELFTEST_RING = 21  # descriptors in the SMART self-test log (log 06h)
SELFTEST_CODES = {"short": 1, "extended": 2}  # LBA low of the off-line start: the log's test byte


def hex_dump_bytes(text):
    """The bytes of smartctl's hex dump lines ("0000000: 01 00 ... |text|")."""
    lines = re.findall(r"^[0-9a-f]{7}: ((?:[0-9a-f]{2} ?){1,16})", text, re.M)
    return bytes.fromhex("".join(lines))


def selftest_rows_from_sector(sector):
    """(descriptor, test, status, remaining %, hours, failing LBA) newest first, from log 06h."""
    index, rows = sector[508], []
    for back in range(SELFTEST_RING if 1 <= index <= SELFTEST_RING else 0):
        number = (index - 1 - back) % SELFTEST_RING + 1
        d = sector[2 + 24 * (number - 1):2 + 24 * number]
        if any(d):
            failed = 3 <= d[1] >> 4 <= 8
            rows.append((number, d[0], d[1], (d[1] & 0x0F) * 10, d[2] | d[3] << 8,
                         int.from_bytes(d[5:9], "little") if failed else None))
    return rows


def selftest_differences(ours, peer, sector, kinds):
    """What our self-test log, smartctl's table (descriptors numbered back from the sector's
    index) and the log sector disagree on, and with the tests `kinds` started, in order."""
    index, wrong = sector[508], []
    theirs = [((index - 1 - i) % SELFTEST_RING + 1, e["type"]["value"], e["status"]["value"],
               e["status"].get("remaining_percent", 0), e["lifetime_hours"], e.get("lba"))
              for i, e in enumerate(peer.get("standard", {}).get("table", []))]
    mine = [(e["descriptor"], e["test"], e["status"], e["remainingPercent"], e["powerOnHours"],
             e["failingLba"]) for e in (ours or {}).get("entries", [])]
    wanted_index = (len(kinds) - 1) % SELFTEST_RING + 1 if kinds else 0
    for what, got, wanted in [
            ("the index (byte 508)", index, wanted_index),
            ("our index", (ours or {}).get("newestDescriptor"), index),
            ("our table", mine, theirs),
            ("smartctl's table", theirs, selftest_rows_from_sector(sector)),
            ("the tests, newest first", [row[1] for row in theirs],
             [SELFTEST_CODES[k] for k in reversed(kinds)][:SELFTEST_RING])]:
        if got != wanted:
            wrong.append(f"{what}: {got}, expected {wanted}")
    return wrong


def check_selftests(files, report, serial):
    runs = [line.split(" ", 2) for line in files.get("selftests.txt", "").splitlines()]
    kinds = [run[0] for run in runs]
    report.check(len(runs) > SELFTEST_RING and {"short", "extended"} <= set(kinds) and
                 all(run[1] == "0" for run in runs), f"{len(runs)} self-tests started, mixed",
                 "; ".join(" ".join(run) for run in runs if run[1:2] != ["0"]))
    ours = load_json(files, "selftest_report", report)
    peer = load_json(files, "smartctl_selftest", report)
    sector = hex_dump_bytes(said_by(files, "smartctl_selftest_raw"))
    if ours is None or peer is None or not report.check(len(sector) == 512, "smartctl dumps log 06h"):
        return
    peer = peer.get("ata_smart_self_test_log", {})
    wrong = selftest_differences((find_drive(ours, serial) or {}).get("selfTestLog"), peer, sector,
                                 kinds)
    report.check(not wrong, "our self-test log equals smartctl's and the sector's, index included",
                 "; ".join(wrong) or f"{len(peer['standard']['table'])} entries, the newest in "
                 f"descriptor {sector[508]}")


def check_guest(guest, disk, table_text_by_series, report, disk_count):
    files = guest.files
    peer = check_peer(files, disk, report) or {}
    check_smart_paths(files, peer, report)
    plain = load_json(files, "report_plain", report)
    report.check(rc_of(files, "report_plain") == 0, "report --all --json succeeds",
                 files.get("report_plain.err", "")[:300])
    if plain is not None:
        report.check(plain.get("enumeratedCount") == disk_count,
                     f"{disk_count} disk(s) enumerated", repr(plain.get("enumeratedCount")))
        drive = find_drive(plain, disk.serial)
        if report.check(drive is not None, "the emulated disk is in the report"):
            check_drive_identity(drive, disk, report, "report")
            check_attributes(drive, peer, table_text_by_series, report, "report")
            report.check(drive.get("smartStatusPassed") is True, "report: SMART RETURN STATUS passed, as smartctl's",
                         repr(drive.get("smartStatusPassed")))
            # The emulated disk keeps no Device Statistics and aborts the directory read.
            report.check("deviceStatistics" in drive and drive["deviceStatistics"] is None,
                         "report: no device statistics", repr(drive.get("deviceStatistics")))

    mounted = load_json(files, "report_mounted", report)
    if mounted is not None:
        drive = find_drive(mounted, disk.serial)
        if report.check(drive is not None, "the disk is in the report with a volume mounted"):
            check_volume(drive, files, report)
    check_selftests(files, report, disk.serial)
    check_unprivileged(files, report)
    check_erase(files, report)
