#!/usr/bin/python3
"""Tests of the guest test's host side: console framing, table and sector decoding, the
attribute comparison and the module load order. Runs without QEMU."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import guest_checks as gc  # noqa: E402
import guest_disk_test as harness  # noqa: E402

DISK = gc.DiskFacts(model="NORVIK QEMU AHCI TEST DISK 5731-X", serial="SER1",
                    firmware="FW1", size_mib=1)


def framed(nonce, files, rc):
    text = "SeaBIOS\nBooting\n"
    for name, body in files.items():
        text += f"@@DS-FILE {nonce} {name}\n{body}\n@@DS-END {nonce}\n"
    return text + f"@@DS-EXIT {nonce} {rc}\n"


def peer_entry(ident, value, worst, thresh, raw):
    return {"id": ident, "value": value, "worst": worst, "thresh": thresh, "raw": {"value": raw}}


class ParseConsoleTest(unittest.TestCase):
    def test_files_come_back_exactly(self):
        cases = [
            ("with trailing newline", "a\nb\n"),
            ("without trailing newline", "a\nb"),
            ("empty", ""),
            ("blank lines inside", "\n\nx\n\n"),
            ("marker of another run inside", "@@DS-END othernonce\nmore\n"),
        ]
        for what, body in cases:
            with self.subTest(what):
                guest = gc.parse_console(framed("n1", {"f.txt": body}, 0), "n1")
                self.assertEqual(guest.files["f.txt"], body)
                self.assertEqual(guest.exit_code, 0)

    def test_exit_code_only_from_this_run(self):
        console = "@@DS-EXIT stale 0\n" + framed("n2", {}, 3)
        self.assertEqual(gc.parse_console(console, "n2").exit_code, 3)

    def test_missing_or_bad_exit_marker_is_an_error(self):
        for console in ["kernel panic\n", "@@DS-EXIT n3 x\n", "@@DS-EXIT other 0\n"]:
            with self.subTest(console=console), self.assertRaises(ValueError):
                gc.parse_console(console, "n3")

    def test_several_files(self):
        guest = gc.parse_console(framed("n4", {"a": "x", "b": "y"}, 1), "n4")
        self.assertEqual(guest.files, {"a": "x", "b": "y"})


class AttributeTableTest(unittest.TestCase):
    def test_ids_in_table_order(self):
        cases = [
            ("hex and decimal", "attribute_amount=2\nAttribute_ID_0=0x09\nAttribute_ID_Desc_0=A\n"
             "Attribute_ID_1=194\nAttribute_ID_Desc_1=B\nAttribute_ID_2=0XC2\n"
             "Attribute_ID_Desc_2=C\n", [9, 194, 194]),
            ("keys in any case", "ATTRIBUTE_AMOUNT=0\nattribute_id_0=5\nATTRIBUTE_ID_DESC_0=R\n",
             [5]),
            ("entries without a description skipped", "attribute_amount=1\nAttribute_ID_0=1\n"
             "Attribute_ID_Desc_0=\nAttribute_ID_1=12\nAttribute_ID_Desc_1=P\n", [12]),
            ("entries past the amount ignored", "attribute_amount=0\nAttribute_ID_0=1\n"
             "Attribute_ID_Desc_0=A\nAttribute_ID_1=3\nAttribute_ID_Desc_1=B\n", [1]),
            ("low eight bits kept", "attribute_amount=0\nAttribute_ID_0=0x1A0\n"
             "Attribute_ID_Desc_0=A\n", [0xA0]),
            ("no amount", "Attribute_ID_0=7\nAttribute_ID_Desc_0=A\n", [7]),
        ]
        for what, text, ids in cases:
            with self.subTest(what):
                self.assertEqual(gc.attribute_table_ids(text), ids)


class ExpectedAttributesTest(unittest.TestCase):
    PEER = {
        1: {"current": 100, "worst": 100, "threshold": 6, "raw": 0},
        9: {"current": 100, "worst": 99, "threshold": 0, "raw": 0x123456789A},
        194: {"current": 60, "worst": 50, "threshold": 0, "raw": 0x0032001E0028},
        200: {"current": 0, "worst": 0, "threshold": 0, "raw": 5},
    }

    def test_selection(self):
        cases = [
            ("table order, unknown ids dropped", [9, 1, 77],
             [{"id": 9, "current": 100, "worst": 99, "threshold": 0, "raw": 0x123456789A},
              {"id": 1, "current": 100, "worst": 100, "threshold": 6, "raw": 0}]),
            ("temperature keeps raw byte 0", [194],
             [{"id": 194, "current": 60, "worst": 50, "threshold": 0, "raw": 0x28}]),
            ("zero current and worst dropped", [200], []),
            ("an id listed twice in the table is taken once", [1, 1],
             [{"id": 1, "current": 100, "worst": 100, "threshold": 6, "raw": 0}]),
            ("empty table", [], []),
        ]
        for what, table, expected in cases:
            with self.subTest(what):
                self.assertEqual(gc.expected_attributes(self.PEER, table), expected)


class ComparisonTest(unittest.TestCase):
    TABLE = "attribute_amount=1\nAttribute_ID_0=1\nAttribute_ID_Desc_0=A\n" \
            "Attribute_ID_1=9\nAttribute_ID_Desc_1=B\n"
    PEER = {1: {"current": 100, "worst": 100, "threshold": 6, "raw": 0},
            9: {"current": 100, "worst": 100, "threshold": 0, "raw": 3}}

    def drive(self, **changes):
        drive = {"model": DISK.model + "       ", "serial": DISK.serial, "firmware": "FW1",
                 "sectorCount": DISK.sectors, "busType": 11, "modelSeries": 0,
                 "attributes": [{"id": 1, "name": "A", "flags": 0, "current": 100,
                                 "worst": 100, "threshold": 6, "raw": 0},
                                {"id": 9, "name": "B", "flags": 0, "current": 100,
                                 "worst": 100, "threshold": 0, "raw": 3}]}
        drive.update(changes)
        return drive

    def failures(self, drive):
        report = gc.CheckReport()
        gc.check_drive_identity(drive, DISK, report, "t")
        gc.check_attributes(drive, self.PEER, lambda series: self.TABLE, report, "t")
        return report.failures

    def test_differences_are_caught(self):
        good = self.drive()["attributes"]
        cases = [
            ("matching drive", {}, 0),
            ("model cut to sysfs length", {"model": DISK.model[:16]}, 1),
            ("wrong serial", {"serial": "SER2"}, 1),
            ("wrong sector count", {"sectorCount": DISK.sectors - 1}, 1),
            ("USB bus type", {"busType": 7}, 1),
            ("raw differs", {"attributes": [good[0], dict(good[1], raw=4)]}, 1),
            ("threshold differs", {"attributes": [dict(good[0], threshold=0), good[1]]}, 1),
            ("attribute missing", {"attributes": [good[0]]}, 1),
            ("order differs", {"attributes": [good[1], good[0]]}, 1),
            ("extra attribute", {"attributes": good + [dict(good[0], id=5)]}, 1),
        ]
        for what, changes, failures in cases:
            with self.subTest(what):
                self.assertEqual(self.failures(self.drive(**changes)), failures)

    def test_missing_table_fails(self):
        report = gc.CheckReport()
        gc.check_attributes(self.drive(), self.PEER, lambda series: None, report, "t")
        self.assertEqual(report.failures, 1)

    def test_drive_found_by_serial_in_either_report_shape(self):
        cases = [
            ({"drives": [{"serial": "X"}, {"serial": "SER1 "}]}, True),
            ([{"serial": "SER1"}], True),
            ({"drives": [{"serial": "SER"}]}, False),
            ({"error": "no disks"}, False),
            ("text", False),
        ]
        for report, found in cases:
            with self.subTest(report=report):
                self.assertEqual(gc.find_drive(report, "SER1") is not None, found)

    def test_unprivileged_runs(self):
        cases = [
            ("refused with a message", "3", "",
             "drivesentinel report: no rights to send ATA commands to /dev/sda\n", 0),
            ("permission text", "3", "", "drivesentinel: Permission denied\n", 0),
            ("succeeded", "0", "{}", "", 4),
            ("failed silently", "1", "", "", 2),
            ("a wrapper failed, not the program", "1", "",
             "setpriv: unrecognized option\nRun PROG with different privilege settings\n", 2),
            ("message on standard output only counts too", "3",
             "drivesentinel report: run as root\n", "", 0),
        ]
        for what, rc, out, err, failures in cases:
            with self.subTest(what):
                files = {"unprivileged_uid.out": "1000\n"}
                for name in ("unprivileged_closed", "unprivileged_open"):
                    files.update({name + ".rc": rc, name + ".out": out, name + ".err": err})
                report = gc.CheckReport()
                gc.check_unprivileged(files, report)
                self.assertEqual(report.failures, failures)


    def test_unprivileged_runs_need_the_unprivileged_user(self):
        for uid, failures in [("1000\n", 0), ("0\n", 1), ("", 1)]:
            with self.subTest(uid=uid):
                files = {"unprivileged_uid.out": uid}
                for name in ("unprivileged_closed", "unprivileged_open"):
                    files.update({name + ".rc": "3", name + ".out": "",
                                  name + ".err": "drivesentinel report: run as root\n"})
                report = gc.CheckReport()
                gc.check_unprivileged(files, report)
                self.assertEqual(report.failures, failures)


class VolumeTest(unittest.TestCase):
    FILES = {"mountinfo.txt": "26 1 8:1 / /mnt/dsvol rw - ext2 /dev/sda1 rw\n",
             "statvfs.txt": "100 200 1024\n"}
    DRIVE = {"driveLetters": "/, /mnt/dsvol", "fileSystems": "ext4, ext2",
             "volumeLabels": "root, DSVOL",
             "volumes": [{"mountPoint": "/mnt/dsvol", "freeBytes": 102400,
                          "totalBytes": 204800}]}

    def run_check(self, drive, files=None):
        report = gc.CheckReport()
        gc.check_volume(drive, files or self.FILES, report)
        return report

    def test_volume_facts(self):
        volume = self.DRIVE["volumes"][0]
        cases = [
            ("all right", {}, 0),
            ("mount point missing", {"driveLetters": "/"}, 1),
            ("mount point only as part of a longer one", {"driveLetters": "/mnt/dsvol2"}, 1),
            ("file system type wrong", {"fileSystems": "ext4"}, 1),
            ("label missing", {"volumeLabels": "root"}, 1),
            ("free space wrong", {"volumes": [dict(volume, freeBytes=1)]}, 1),
            ("size wrong", {"volumes": [dict(volume, totalBytes=1)]}, 1),
            ("volume not listed", {"volumes": [dict(volume, mountPoint="/")]}, 1),
            ("empty volume list", {"volumes": []}, 1),
        ]
        for what, changes, failures in cases:
            with self.subTest(what):
                self.assertEqual(self.run_check(dict(self.DRIVE, **changes)).failures, failures)

    def test_missing_sizes_are_said_not_passed(self):
        drive = {k: v for k, v in self.DRIVE.items() if k != "volumes"}
        report = self.run_check(drive)
        self.assertEqual(report.failures, 0)
        self.assertTrue(any(line.startswith("NOT CHECKED") for line in report.lines))
        self.assertFalse(any("free space" in line and line.startswith("ok") for line in
                             report.lines))

    def test_guest_without_the_mount_fails(self):
        self.assertEqual(self.run_check(self.DRIVE, {"mountinfo.txt": ""}).failures, 1)


class SectorDecodeTest(unittest.TestCase):
    def test_slots(self):
        data = bytearray(512)
        thresholds = bytearray(512)
        data[2:14] = bytes([9, 0x32, 0, 99, 98, 1, 2, 3, 4, 5, 6, 0xEE])
        data[14:26] = bytes([9, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0])  # repeated id: first wins
        data[26:38] = bytes([0, 0, 0, 50, 50, 1, 0, 0, 0, 0, 0, 0])  # empty slot
        thresholds[2:4] = bytes([9, 7])
        decoded = gc.decode_smart_sectors(bytes(data), bytes(thresholds))
        self.assertEqual(decoded, {9: {"current": 99, "worst": 98, "threshold": 7,
                                       "raw": 0x060504030201}})

    def test_short_sectors_do_not_crash(self):
        self.assertEqual(gc.decode_smart_sectors(b"\x00\x01\x09", b""), {})


class SmartPathsTest(unittest.TestCase):
    """The probe's output: both paths, thresholds, IDENTIFY, RETURN STATUS, an abort."""

    @staticmethod
    def identify_sector():
        words = [0] * 256

        def put(text, first, count):
            text = text.ljust(count * 2)
            for i in range(count):
                words[first + i] = ord(text[2 * i]) << 8 | ord(text[2 * i + 1])

        put(DISK.model, 27, 20)
        put(DISK.serial, 10, 10)
        put(DISK.firmware, 23, 4)
        words[83] = 0x0400
        words[100] = DISK.sectors & 0xFFFF
        words[101] = DISK.sectors >> 16
        return b"".join(w.to_bytes(2, "little") for w in words).hex()

    def probe(self, **changes):
        data = bytearray(512)
        data[2:14] = bytes([9, 0x32, 0, 100, 100, 3, 0, 0, 0, 0, 0, 0])
        thresholds = bytearray(512)
        thresholds[2:4] = bytes([9, 0])
        sector, limits, identify = data.hex(), thresholds.hex(), self.identify_sector()
        probe = {
            "paths": {"passThrough": {"ok": True, "data": sector},
                      "driver": {"ok": True, "data": sector},
                      "readSmartData": {"ok": True, "data": sector}},
            "thresholds": {"ok": True, "data": limits},
            "thresholdsDriver": {"ok": True, "data": limits},
            "identify": {"ok": True, "data": identify},
            "identifyDriver": {"ok": True, "data": identify},
            "returnStatus": {"ok": True, "registers": {"lbaMid": 0x4F, "lbaHigh": 0xC2,
                                                       "status": 0x50}},
            "abortedCommand": {"ok": False, "registers": {"status": 0x41, "error": 0x04}},
        }
        for key, value in changes.items():
            if key in probe["paths"]:
                probe["paths"][key] = value
            else:
                probe[key] = value
        return probe

    PEER = {9: {"current": 100, "worst": 100, "threshold": 0, "raw": 3}}

    def failures(self, probe, peer=None):
        report = gc.CheckReport()
        gc.check_smart_paths({"smart_paths.out": gc.json.dumps(probe)}, peer or self.PEER,
                             DISK, report)
        return report.failures

    def test_disagreements_are_caught(self):
        other = bytearray(512)
        other[2:14] = bytes([9, 0x32, 0, 100, 100, 4, 0, 0, 0, 0, 0, 0])
        cases = [
            ("all agree", {}, 0),
            ("driver path fails", {"driver": {"ok": False, "message": "EIO"}}, 2),
            ("driver path returns other data", {"driver": {"ok": True, "data": other.hex()}}, 1),
            ("thresholds differ", {"thresholdsDriver": {"ok": True, "data": "00" * 512}}, 1),
            ("IDENTIFY of another disk", {"identifyDriver": {"ok": True, "data": "00" * 512},
                                          "identify": {"ok": True, "data": "00" * 512}}, 1),
            ("RETURN STATUS registers lost",
             {"returnStatus": {"ok": True, "registers": {"status": 0x50}}}, 1),
            ("abort taken as success", {"abortedCommand": {"ok": True, "registers": {}}}, 1),
        ]
        for what, changes, failures in cases:
            with self.subTest(what):
                self.assertEqual(self.failures(self.probe(**changes)), failures)

    def test_sector_must_match_smartctl(self):
        peer = {9: {"current": 100, "worst": 100, "threshold": 0, "raw": 4}}
        self.assertEqual(self.failures(self.probe(), peer), 1)


class ModuleOrderTest(unittest.TestCase):
    DEP = ("kernel/drivers/ata/ahci.ko.xz: kernel/drivers/ata/libahci.ko.xz "
           "kernel/drivers/ata/libata.ko.xz kernel/drivers/scsi/scsi_mod.ko.xz\n"
           "kernel/drivers/ata/libahci.ko.xz: kernel/drivers/ata/libata.ko.xz\n"
           "kernel/drivers/ata/libata.ko.xz: kernel/drivers/scsi/scsi_mod.ko.xz\n"
           "kernel/drivers/scsi/scsi_mod.ko.xz: kernel/drivers/scsi/scsi_common.ko.xz\n"
           "kernel/drivers/scsi/scsi_common.ko.xz:\n"
           "kernel/crypto/crc32c_generic.ko.xz:\n"
           "kernel/lib/crc-t10dif.ko.xz:\n")

    def test_each_module_after_what_it_needs(self):
        table = harness.parse_modules_dep(self.DEP)
        order = [harness.module_name(p) for p in
                 harness.load_order(table, ["ahci", "crc_t10dif"], ["crc32c_generic", "absent"])]
        self.assertEqual(len(order), len(set(order)))
        self.assertEqual(order[0], "crc32c_generic")
        for module, needs in [("ahci", ["libahci", "libata", "scsi_mod", "scsi_common"]),
                              ("libata", ["scsi_mod"]), ("scsi_mod", ["scsi_common"])]:
            for need in needs:
                with self.subTest(module=module, need=need):
                    self.assertLess(order.index(need), order.index(module))
        self.assertIn("crc_t10dif", order)

    def test_missing_module_and_loops_are_errors(self):
        table = harness.parse_modules_dep("a.ko: b.ko\nb.ko: a.ko\n")
        for wanted in (["missing"], ["a"]):
            with self.subTest(wanted=wanted), self.assertRaises(harness.HarnessError):
                harness.load_order(table, wanted, [])


class TimingTest(unittest.TestCase):
    def test_medians_and_ratio(self):
        files = {"time_program.times": "0 0.010\n1 1.030\n2 2.020\n",
                 "time_smartctl.times": "0 0.040\n1 1.040\n2 2.050\n",
                 "report_plain.rc": "0\n"}
        summary = gc.timing_summary(files)
        self.assertIn("20.0 ms", summary)
        self.assertIn("40.0 ms", summary)
        self.assertIn("ratio 0.50", summary)
        self.assertEqual(gc.timing_summary({}), "")

    def test_start_up_share(self):
        files = {"time_program.times": "0 0.030\n", "time_smartctl.times": "0 0.040\n",
                 "time_program_start.times": "0 0.012\n1 1.010\n2 2.011\n",
                 "time_smartctl_start.times": "0 0.005\n", "report_plain.rc": "0"}
        summary = gc.timing_summary(files)
        self.assertIn("drivesentinel 11.0 ms", summary)
        self.assertIn("smartctl 5.0 ms", summary)

    def test_probe_median(self):
        cases = [('{"readSmartDataMicroseconds": [300, 100, 200]}', "200 us"),
                 ('{"readSmartDataMicroseconds": []}', ""), ("not json", ""), ("{}", "")]
        for text, expected in cases:
            with self.subTest(text=text):
                summary = gc.probe_timing({"smart_paths.out": text})
                self.assertEqual(expected in summary and bool(summary) == bool(expected), True)

    def test_no_ratio_when_the_program_failed(self):
        files = {"time_program.times": "0 0.001\n", "time_smartctl.times": "0 0.040\n",
                 "report_plain.rc": "2\n"}
        self.assertNotIn("ratio", gc.timing_summary(files))


class EraseCheckTest(unittest.TestCase):
    FILES = {
        "erase_wrong_serial.rc": "6", "erase_wrong_serial.err": 'x not "NOT-S"',
        "erase_held_open.rc": "6",
        "erase_held_open.err": "Please remove the file system first!\nprocess 9 has /dev/sdb open",
        "erase_unmap.rc": "0", "erase_unmap.out": "The disk was erased by TRIM; ...",
        "erase_unmap_left.txt": "0 0\n2099 0\n", "erase_parted.rc": "6",
        "erase_parted.err": "Please remove the file system first!\npartition sdd1",
        "erase_parted_before.md5": "aa  -", "erase_parted_after.md5": "aa  -",
        "erase_keeps_before.md5": "bb  -", "erase_keeps_after.md5": "bb  -", "erase_keeps.rc": "7",
        "erase_keeps.err": "sector 0 still holds data. The disk does not support the ATA "
                           "security feature set",
    }

    def test_each_outcome_is_checked(self):
        cases = [
            ("all right", {}, 0),
            ("held disk erased", {"erase_held_open.rc": "0"}, 1),
            ("refused for another reason", {"erase_held_open.err": "cannot open"}, 1),
            ("pattern left", {"erase_unmap_left.txt": "0 0\n2099 512\n"}, 1),
            ("nothing read back", {"erase_unmap_left.txt": ""}, 1),
            ("partitioned disk changed", {"erase_parted_after.md5": "cc  -"}, 1),
            ("kept data reported erased", {"erase_keeps.rc": "0", "erase_keeps.err": "",
                                           "erase_keeps.out": "erased by TRIM"}, 2),
            ("password left", {"erase_keeps.rc": "8", "erase_keeps.err": "still holds data. "
                               "does not support the ATA security feature set. may still be set"},
             2),
            ("no erase ran", dict.fromkeys(self.FILES, ""), 8),
        ]
        for what, changes, failures in cases:
            with self.subTest(what):
                report = gc.CheckReport()
                gc.check_erase(dict(self.FILES, **changes), report)
                self.assertEqual(report.failures, failures, "\n".join(report.lines))


if __name__ == "__main__":
    unittest.main()
