#!/usr/bin/python3
"""Checks the sample workbooks with readers written elsewhere.

Runs xls_sample_writer into a fresh folder, then opens every workbook it wrote with
olefile (compound file structure), xlrd (sheet names, every cell, row count) and a record
walk of the Workbook stream (record order, SST with its CONTINUE records, INDEX, DBCELL and
BOUNDSHEET positions). With --libreoffice, also converts the workbooks to CSV with
LibreOffice and compares the cells. Missing tools are failures, never skips.

usage: check_workbooks.py --writer PATH [--libreoffice]
"""
import argparse
import csv
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import olefile
import xlrd

MAX_BODY = 8224
BOF, WINDOW1, FONT, XF, STYLE = 0x0809, 0x003D, 0x0031, 0x00E0, 0x0293
BOUNDSHEET, SST, CONTINUE, EOF = 0x0085, 0x00FC, 0x003C, 0x000A
INDEX, DIMENSIONS, ROW, LABELSST, DBCELL, WINDOW2 = 0x020B, 0x0200, 0x0208, 0x00FD, 0x00D7, 0x023E


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


def records(stream):
    """(offset, type, body) of every record in the stream."""
    out = []
    at = 0
    while at < len(stream):
        expect(at + 4 <= len(stream), "record header cut at %d" % at)
        kind, size = struct.unpack_from("<HH", stream, at)
        expect(size <= MAX_BODY, "record 0x%04X at %d longer than %d" % (kind, at, MAX_BODY))
        expect(at + 4 + size <= len(stream), "record 0x%04X at %d runs past the stream" % (kind, at))
        out.append((at, kind, stream[at + 4:at + 4 + size]))
        at += 4 + size
    return out


def parse_sst(parts):
    """Strings of an SST split over `parts` (bodies of SST and its CONTINUEs)."""
    total, unique = struct.unpack_from("<II", parts[0], 0)
    strings = []
    part, at = 0, 8
    for _ in range(unique):
        if at == len(parts[part]):
            part, at = part + 1, 0
        expect(at + 3 <= len(parts[part]), "SST string header split across records")
        count, option = struct.unpack_from("<HB", parts[part], at)
        expect(option in (0, 1), "SST string has option 0x%02X" % option)
        at += 3
        size = 3 + count * (2 if option else 1)
        chars = []
        left = count
        pieces = 0
        while True:
            unit = 2 if option else 1
            room = (len(parts[part]) - at) // unit
            now = min(left, room)
            raw = parts[part][at:at + now * unit]
            chars.append(raw.decode("utf-16-le" if option else "latin-1", "surrogatepass"))
            at += now * unit
            left -= now
            pieces += 1
            if left == 0:
                break
            expect(at == len(parts[part]), "SST string stops before its record ends")
            part, at = part + 1, 0
            expect(part < len(parts), "SST ends inside a string")
            option = parts[part][0]
            expect(option in (0, 1), "continued string lacks its option byte")
            at = 1
        if pieces > 1:
            expect(size > MAX_BODY, "a string of %d bytes was split although it fits one record"
                   % size)
        text = "".join(chars)
        strings.append(text.encode("utf-16-le", "surrogatepass").decode("utf-16-le"))
    expect(part == len(parts) - 1 and at == len(parts[part]), "SST has bytes after its strings")
    return total, strings


def walk_stream(stream, sample):
    """Checks record order and the positions the stream records refer to."""
    recs = records(stream)
    kinds = [k for _, k, _ in recs]
    by_offset = {off: (k, body) for off, k, body in recs}
    i = 0

    def take(kind, count=1):
        nonlocal i
        for _ in range(count):
            expect(i < len(recs) and recs[i][1] == kind,
                   "record %d: expected 0x%04X, found %s" % (
                       i, kind, "0x%04X" % recs[i][1] if i < len(recs) else "end"))
            i += 1
        return recs[i - 1]

    _, _, body = take(BOF)
    expect(struct.unpack_from("<HHHHII", body) == (0x0600, 5, 0x19A0, 0x07CD, 0xC0C9, 0x0306),
           "globals BOF fields")
    _, _, body = take(WINDOW1)
    expect(struct.unpack("<9H", body) == (120, 120, 15135, 9300, 0x38, 0, 0, 1, 600), "WINDOW1")
    _, _, body = take(FONT, 4)
    expect(body == struct.pack("<HHHHHBBBB", 200, 0, 0x7FFF, 400, 0, 0, 0, 0, 0)
           + b"\x05\x01" + "Arial".encode("utf-16-le"), "FONT")
    _, _, body = take(XF, 21)
    expect(body == struct.pack("<HHHBBBBIIH", 0, 0, 0xFFF5, 0x20, 0, 0, 0, 0, 0, 0x20C0), "XF")
    _, _, body = take(STYLE, 6)
    expect(body == struct.pack("<HBB", 0x8000, 0, 0xFF), "STYLE")
    sheets = []
    while i < len(recs) and recs[i][1] == BOUNDSHEET:
        _, _, body = take(BOUNDSHEET)
        position, visibility, kind, count, option = struct.unpack_from("<IBBBB", body)
        expect((visibility, kind) == (0, 0), "BOUNDSHEET visibility and type")
        name = body[8:].decode("utf-16-le" if option else "latin-1")
        expect(len(name) == count, "BOUNDSHEET name length")
        sheets.append((position, name))
    expect([n for _, n in sheets] == sample["sheets"], "sheet names %r" % sheets)
    _, _, sst = take(SST)
    parts = [sst]
    while recs[i][1] == CONTINUE:
        parts.append(take(CONTINUE)[2])
    expect(len(parts) - 1 >= sample.get("min_continue", 0), "too few CONTINUE records")
    total, strings = parse_sst(parts)
    take(EOF)

    label_count = 0
    used = set()
    for number, (position, name) in enumerate(sheets):
        expect(recs[i][0] == position, "BOUNDSHEET of %s points to %d, sheet starts at %d"
               % (name, position, recs[i][0]))
        _, _, body = take(BOF)
        expect(struct.unpack_from("<HH", body) == (0x0600, 0x10), "worksheet BOF")
        _, _, index = take(INDEX)
        zero, first_row, row_end, ib_xf = struct.unpack_from("<IIII", index)
        dbcells = list(struct.unpack_from("<%dI" % ((len(index) - 16) // 4), index, 16))
        take(DIMENSIONS)
        found_dbcells = []
        cells = {}
        rows_seen = []
        while recs[i][1] == ROW:
            block = []
            first_row_at = recs[i][0]
            while recs[i][1] == ROW:
                _, _, body = take(ROW)
                row, col_first, col_end = struct.unpack_from("<HHH", body)
                block.append((row, col_first, col_end))
            expect(len({r // 32 for r, _, _ in block}) == 1, "block spans several 32-row bands")
            first_cell_at = {}
            columns_of = {}
            while recs[i][1] == LABELSST:
                at, _, body = take(LABELSST)
                row, col, xf, sst_index = struct.unpack("<HHHI", body)
                expect(xf == 0, "LABELSST XF index")
                expect(sst_index < len(strings), "LABELSST index outside the SST")
                first_cell_at.setdefault(row, at)
                columns_of.setdefault(row, []).append(col)
                cells[(row, col)] = strings[sst_index]
                label_count += 1
                used.add(sst_index)
            at, _, body = take(DBCELL)
            found_dbcells.append(at)
            back = struct.unpack_from("<I", body)[0]
            expect(at - back == first_row_at, "DBCELL offset to its first ROW")
            offsets = struct.unpack_from("<%dH" % ((len(body) - 4) // 2), body, 4)
            expect(len(offsets) == len(block), "DBCELL lists one offset per row")
            position_of = first_row_at + 20  # end of the first ROW record
            for (row, col_first, col_end), offset in zip(block, offsets):
                position_of += offset
                expect(first_cell_at.get(row) == position_of,
                       "DBCELL offset of row %d" % row)
                row_cols = columns_of.get(row, [])
                expect(row_cols == sorted(set(row_cols)), "cells of row %d out of order" % row)
                expect(row_cols and row_cols[0] == col_first and row_cols[-1] + 1 == col_end,
                       "ROW column range of row %d" % row)
            rows_seen.extend(r for r, _, _ in block)
        expect(rows_seen == sorted(rows_seen), "rows out of order")
        expect(dbcells == found_dbcells, "INDEX lists %r, DBCELLs at %r" % (dbcells[:4], found_dbcells[:4]))
        if rows_seen:
            expect((first_row, row_end) == (rows_seen[0], rows_seen[-1] + 1), "INDEX row range")
        expect(zero == 0 and ib_xf == 0, "INDEX reserved fields")
        if number == 0 and "dbcells" in sample:
            expect(len(found_dbcells) == sample["dbcells"], "DBCELL count %d" % len(found_dbcells))
        _, _, body = take(WINDOW2)
        expect(struct.unpack("<HHHHHHHI", body) == (0x06B6, 0, 0, 64, 0, 0, 0, 0), "WINDOW2")
        take(EOF)
        if number == 0:
            expect(cells == expected_cells(sample), "record walk found other cells")
    expect(i == len(recs), "records after the last sheet")
    expect(total == label_count, "SST total %d, text cells %d" % (total, label_count))
    expect(used == set(range(len(strings))), "SST holds unused strings")
    expect(len(set(strings)) == len(strings), "SST holds a text twice")
    if "text_cells" in sample:
        expect(total == sample["text_cells"], "SST total")
    if "distinct" in sample:
        expect(len(strings) == sample["distinct"], "SST distinct count")


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
        stream = ole.openstream("Workbook").read()
        expect(len(stream) == size, "stream read short")
        return stream
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
                stream = check_compound_file(path, sample)
                walk_stream(stream, sample)
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
