#!/usr/bin/python3
"""Writes the sample workbooks and checks them with olefile and every cell with xlrd (or,
with --libreoffice, the first sheets' CSV from LibreOffice); sheet/xls_test_reader.h checks
the structure. Missing tools are failures, never skips.
"""
import argparse, csv, os, shutil, subprocess, sys, tempfile
import olefile, xlrd


class Failure(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise Failure(what)


def grid(rows, columns):
    return {(0, r, c): "r%dc%d" % (r, c) for r in range(rows) for c in range(columns)}


def samples():
    """Name, sheet names, rows of the first sheet, {(sheet, row, column): text} a reader shows."""
    many = {(0, r, 0): "distinct text number %d" % r for r in range(3000)}
    many.update({(0, 3000, 0): "L" * 20000, (0, 3001, 1): "".join("€aé"[i % 3] for i in range(9000)),
                 (0, 3002, 2): "\U0001F600" * 5000})
    many.update({(0, r, 3): "Привет %d" % r for r in range(3003, 3400)})
    # Bytes that are not UTF-8 show as Windows-1252 characters.
    texts = [["café", "5 €"], ["温度", "café"], ["€ and Ÿ", "Ã"], ["í\xa0€", "tab\tnew\nline"]]
    return [("continue", ["SMART"], 3400, many),
            ("unicode", ["Identify"], 4, {(0, r, c): texts[r][c] for r in range(4) for c in range(2)}),
            ("two_sheets", ["Sheet1", "Second"], 40, {**grid(40, 2), (1, 5, 7): "on the second sheet"}),
            ("full_sheet", ["Health"], 65536, grid(65536, 8))]


def differ(what, got, want):
    wrong = sorted(k for k in set(got) | set(want) if got.get(k) != want.get(k))[:3]
    if wrong:
        raise Failure("%s differ at %r: got %r, want %r"
                      % (what, wrong, [got.get(k) for k in wrong], [want.get(k) for k in wrong]))


def check_olefile_and_xlrd(path, sheets, rows, cells):
    with olefile.OleFileIO(path, raise_defects=olefile.DEFECT_POTENTIAL) as ole:
        expect(ole.listdir(streams=True, storages=True) == [["Workbook"]], "streams")
        expect(len(ole.openstream("Workbook").read()) == ole.get_size("Workbook"), "stream short")
    book = xlrd.open_workbook(path)
    expect(book.sheet_names() == sheets, "xlrd sheet names %r" % book.sheet_names())
    expect(book.sheet_by_index(0).nrows == rows, "xlrd rows")
    got = {(s, r, c): cell.value if cell.ctype == xlrd.XL_CELL_TEXT else cell
           for s, sheet in enumerate(book.sheets()) for r in range(sheet.nrows)
           for c, cell in enumerate(sheet.row(r)) if cell.ctype != xlrd.XL_CELL_EMPTY}
    differ("xlrd cells", got, cells)


def check_libreoffice(folder, samples):
    soffice = shutil.which("soffice")
    expect(soffice is not None, "LibreOffice (soffice) is not installed")
    out = os.path.join(folder, "csv")
    profile = tempfile.mkdtemp(prefix="xls-lo-profile-")
    try:
        files = [os.path.join(folder, name + ".xls") for name, _, _, _ in samples]
        result = subprocess.run(
            [soffice, "-env:UserInstallation=file://" + profile, "--headless", "--norestore",
             "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1", "--outdir", out] + files,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
        expect(result.returncode == 0, "soffice failed: %s" % result.stdout.decode(errors="replace"))
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    for name, _, _, cells in samples:
        csv_path = os.path.join(out, name + ".csv")
        expect(os.path.exists(csv_path), "LibreOffice wrote no CSV for %s" % name)
        with open(csv_path, newline="", encoding="utf-8") as handle:
            got = {(0, r, c): text for r, row in enumerate(csv.reader(handle))
                   for c, text in enumerate(row) if text != ""}
        want = {k: v for k, v in cells.items() if k[0] == 0}
        differ("LibreOffice cells of " + name, got, want)
        print("libreoffice %-16s ok (%d cells)" % (name, len(want)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--writer", required=True)
    parser.add_argument("--libreoffice", action="store_true")
    args = parser.parse_args()
    folder = tempfile.mkdtemp(prefix="xls-samples-")
    try:
        subprocess.run([args.writer, folder], check=True)
        if args.libreoffice:
            check_libreoffice(folder, samples())
        for name, sheets, rows, cells in [] if args.libreoffice else samples():
            try:
                check_olefile_and_xlrd(os.path.join(folder, name + ".xls"), sheets, rows, cells)
            except Failure as failure:
                raise Failure("%s: %s" % (name, failure))
            print("%-16s ok" % name)
        return 0
    except Failure as failure:
        print("FAILED:", failure)
        return 1
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
