#!/usr/bin/python3
"""Checks the sample workbooks with readers written elsewhere.

Runs xls_sample_writer into a fresh folder, then opens every workbook it wrote with
olefile (compound file structure) and xlrd (sheet names, every cell, row count); the
record structure is checked by the unit tests' own parser (sheet/xls_test_reader.h).
With --libreoffice, converts the workbooks to CSV with LibreOffice instead and compares
the cells. Missing tools are failures, never skips.

usage: check_workbooks.py --writer PATH [--libreoffice]
"""
import argparse
import csv
import json
import os
import shutil
import subprocess
import sys
import tempfile

import olefile
import xlrd

class Failure(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise Failure(what)


def expected_cells(sample):
    """(row, column) -> text of the first sheet."""
    if "pattern" in sample:
        return {(r, c): sample["pattern"].format(row=r, col=c)
                for r in range(sample["pattern_rows"]) for c in range(sample["pattern_columns"])}
    return {(r, c): text for r, c, text in sample["cells"]}


def check_compound_file(path, sample):
    expect(olefile.isOleFile(path), "not a compound file")
    ole = olefile.OleFileIO(path, raise_defects=olefile.DEFECT_POTENTIAL)
    try:
        expect(ole.listdir(streams=True, storages=True) == [["Workbook"]], "streams %r"
               % ole.listdir(streams=True, storages=True))
        expect(ole.root.name == "Root Entry", "root name")
        expect((ole.dll_version, ole.minor_version) == (3, 0x3B), "version")
        expect((ole.sector_size, ole.mini_sector_size, ole.minisectorcutoff) == (512, 64, 4096),
               "sector sizes")
        expect(os.path.getsize(path) % 512 == 0, "file not a whole number of sectors")
        entry = ole.direntries[ole._find("Workbook")]
        size = ole.get_size("Workbook")
        if "stream_size" in sample:
            expect(size == sample["stream_size"], "stream size %d" % size)
        if sample.get("stream") == "mini":
            expect(size < 4096 and entry.is_minifat, "stream not in the mini stream")
        if sample.get("stream") == "regular":
            expect(size >= 4096 and not entry.is_minifat, "stream not in regular sectors")
        expect(sample.get("difat", False) == (ole.num_difat_sectors > 0),
               "DIFAT sectors: %d" % ole.num_difat_sectors)
        expect(len(ole.openstream("Workbook").read()) == size, "stream read short")
    finally:
        ole.close()


def check_xlrd(path, sample):
    book = xlrd.open_workbook(path)
    expect(book.sheet_names() == sample["sheets"], "xlrd sheet names %r" % book.sheet_names())
    sheet = book.sheet_by_index(0)
    expect(sheet.nrows == sample["rows"], "xlrd rows %d" % sheet.nrows)
    want = expected_cells(sample)
    got = {}
    for r in range(sheet.nrows):
        for c, cell in enumerate(sheet.row(r)):
            if cell.ctype == xlrd.XL_CELL_TEXT:
                got[(r, c)] = cell.value
            else:
                expect(cell.ctype == xlrd.XL_CELL_EMPTY, "xlrd cell %d,%d type %d" % (r, c, cell.ctype))
    if got != want:
        wrong = [k for k in set(got) | set(want) if got.get(k) != want.get(k)][:3]
        raise Failure("xlrd cells differ at %r: got %r, want %r"
                      % (wrong, [got.get(k) for k in wrong], [want.get(k) for k in wrong]))
    if "second_sheet_cell" in sample:
        r, c, text = sample["second_sheet_cell"]
        expect(book.sheet_by_index(1).cell_value(r, c) == text, "second sheet cell")


def check_libreoffice(folder, samples):
    soffice = shutil.which("soffice")
    expect(soffice is not None, "LibreOffice (soffice) is not installed")
    out = os.path.join(folder, "csv")
    profile = tempfile.mkdtemp(prefix="xls-lo-profile-")
    try:
        files = [os.path.join(folder, s["file"]) for s in samples]
        result = subprocess.run(
            [soffice, "-env:UserInstallation=file://" + profile, "--headless", "--norestore",
             "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1", "--outdir", out] + files,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
        expect(result.returncode == 0, "soffice failed: %s" % result.stdout.decode(errors="replace"))
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    for sample in samples:
        csv_path = os.path.join(out, sample["name"] + ".csv")
        expect(os.path.exists(csv_path), "LibreOffice wrote no CSV for %s" % sample["name"])
        got = {}
        with open(csv_path, newline="", encoding="utf-8") as handle:
            for r, row in enumerate(csv.reader(handle)):
                for c, text in enumerate(row):
                    if text != "":
                        got[(r, c)] = text
        want = {k: v for k, v in expected_cells(sample).items() if v != ""}
        if got != want:
            wrong = sorted(k for k in set(got) | set(want) if got.get(k) != want.get(k))[:3]
            raise Failure("LibreOffice cells of %s differ at %r: got %r, want %r" % (
                sample["name"], wrong, [got.get(k) for k in wrong], [want.get(k) for k in wrong]))
        print("libreoffice %-16s ok (%d cells)" % (sample["name"], len(want)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--writer", required=True)
    parser.add_argument("--libreoffice", action="store_true")
    args = parser.parse_args()
    folder = tempfile.mkdtemp(prefix="xls-samples-")
    try:
        subprocess.run([args.writer, folder], check=True)
        with open(os.path.join(folder, "manifest.json"), encoding="utf-8") as handle:
            samples = json.load(handle)
        failed = 0
        if args.libreoffice:
            check_libreoffice(folder, samples)
            return 0
        for sample in samples:
            path = os.path.join(folder, sample["file"])
            try:
                check_compound_file(path, sample)
                check_xlrd(path, sample)
                print("%-16s ok" % sample["name"])
            except Failure as failure:
                print("%-16s FAILED: %s" % (sample["name"], failure))
                failed += 1
        return 1 if failed else 0
    except Failure as failure:
        print("FAILED:", failure)
        return 1
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
