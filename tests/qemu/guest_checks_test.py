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


class SelfTestLogTest(unittest.TestCase):
    """23 tests in the 21-descriptor ring: the newest in descriptor 2, the two oldest gone."""
    KINDS = ["extended" if i % 3 == 0 else "short" for i in range(1, 24)]

    def tables(self):
        sector, index = bytearray(512), 0
        for kind in self.KINDS:  # as the disk fills its ring
            index = index % 21 + 1
            sector[2 + 24 * (index - 1):6 + 24 * (index - 1)] = [gc.SELFTEST_CODES[kind], 0, 0x34, 0x12]
        sector[508] = index
        codes = [gc.SELFTEST_CODES[k] for k in reversed(self.KINDS)][:21]
        peer = {"standard": {"table": [{"type": {"value": c}, "status": {"value": 0},
                                         "lifetime_hours": 4660} for c in codes]}}
        ours = {"newestDescriptor": 2, "entries": [
            {"descriptor": (1 - i) % 21 + 1, "test": c, "status": 0, "remainingPercent": 0,
             "powerOnHours": 4660, "failingLba": None} for i, c in enumerate(codes)]}
        return ours, peer, sector

    def test_differences_are_caught(self):
        def renumbered(o):  # in order, but numbered as if the ring had not wrapped
            return dict(o, entries=[dict(e, descriptor=21 - i) for i, e in enumerate(o["entries"])])

        def failed(p):  # smartctl reads a read failure (30 % left) in the newest, the sector not
            p["standard"]["table"][0]["status"] = {"value": 0x73, "remaining_percent": 30}
            return p
        cases = [("matching tables", lambda o, p, s, k: (o, p, s, k), []),
                 ("descriptors not wrapped", lambda o, p, s, k: (renumbered(o), p, s, k), ["our table"]),
                 ("our index off by one", lambda o, p, s, k: (dict(o, newestDescriptor=3), p, s, k),
                  ["our index"]),
                 ("smartctl's status not the sector's", lambda o, p, s, k: (o, failed(p), s, k),
                  ["our table", "smartctl's table"]),
                 ("the newest test not started", lambda o, p, s, k: (o, p, s, k[:-1]),
                  ["the index (byte 508)", "the tests, newest first"])]
        for what, change, wrong in cases:
            with self.subTest(what):
                found = gc.selftest_differences(*change(*self.tables(), self.KINDS))
                self.assertEqual([w.split(":")[0] for w in found], wrong, found)


if __name__ == "__main__":
    unittest.main()
