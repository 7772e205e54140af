#!/usr/bin/python3
"""The guest test's comparison catches a difference: each reading that strays from
smartctl's, each disagreement between our two S.M.A.R.T. paths and each wrong erase
outcome fails a check. Runs without QEMU."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import guest_checks as gc  # noqa: E402

DISK = gc.DiskFacts(model="NORVIK QEMU AHCI TEST DISK 5731-X", serial="SER1",
                    firmware="FW1", size_mib=1)


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
