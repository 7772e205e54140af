#!/usr/bin/python3
"""The guest test's comparison with smartctl catches a difference: each reading of ours
that strays from smartctl's fails a check. Runs without QEMU."""

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


if __name__ == "__main__":
    unittest.main()
