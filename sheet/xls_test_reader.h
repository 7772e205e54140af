#pragma once

// Test-side workbook reader: olefile plus sector rules for the compound file, then a BIFF8 parser
// checking record sizes, SST splits, ROW ranges, DBCELL/INDEX offsets and BOUNDSHEET positions.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/run_program.h"

namespace ds::testing {

inline std::uint32_t Le16(const std::string& b, std::size_t at) {
  return static_cast<unsigned char>(b.at(at)) | static_cast<unsigned char>(b.at(at + 1)) << 8;
}
inline std::uint32_t Le32(const std::string& b, std::size_t at) {
  return Le16(b, at) | Le16(b, at + 2) << 16;
}

// What ReadCompoundFile found; `error` is empty when the file is sound.
struct CompoundFile {
  std::string error;
  unsigned fatSectors = 0, difatSectors = 0;
  std::string workbook;  // the "Workbook" stream
};

// The compound file at `path` as olefile reads it, also checking that the FAT and DIFAT sectors
// are listed and marked as such and every other sector is free or in exactly one chain.
inline CompoundFile ReadCompoundFile(const std::string& path) {
  static const char* const kScript = R"(
import struct, sys, olefile
data = open(sys.argv[1], "rb").read()
ole = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_POTENTIAL)
def check(ok, what):
    if not ok:
        sys.exit(what)
check(len(data) % 512 == 0 and ole.listdir(streams=True, storages=True) == [["Workbook"]]
      and ole.root.name == "Root Entry", "size or directory entries")
check((ole.dll_version, ole.minor_version, ole.sector_size, ole.mini_sector_size,
       ole.minisectorcutoff) == (3, 0x3B, 512, 64, 4096), "version or sector sizes")
book = ole.direntries[ole._find("Workbook")]
check(book.is_minifat == (book.size < 4096), "stream on the wrong side of the cutoff")
FREE, END, FAT, DIF = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC
sectors, fat = len(data) // 512 - 1, ole.fat
listed, difat = list(struct.unpack_from("<109I", data, 76)), ole.first_difat_sector
for _ in range(ole.num_difat_sectors):
    entries = struct.unpack_from("<128I", data, 512 + 512 * difat)
    listed, difat = listed + list(entries[:127]), entries[127]
listed = [n for n in listed if n != FREE]
check(difat == END and len(listed) == ole.num_fat_sectors and len(fat) >= sectors
      and all(fat[n] == FAT for n in listed) and list(fat[:sectors]).count(DIF) ==
      ole.num_difat_sectors, "FAT or DIFAT sectors not listed or marked as such")
used = set()
for start in [ole.first_dir_sector] + ([ole.first_mini_fat_sector, ole.root.isectStart]
                                         if book.is_minifat else [book.isectStart]):
    while start != END:
        check(start < sectors and start not in used, "broken chain")
        used.add(start)
        start = fat[start]
check(all((n in used) != (fat[n] in (FAT, DIF, FREE)) for n in range(sectors)),
      "a sector marked unlike its use")
stream, n = ole.openstream("Workbook").read(), book.isectStart
while book.is_minifat and n != END:
    check(64 * n + 64 <= ole.root.size, "mini chain leaves the mini stream")
    n = ole.minifat[n]
sys.stdout.buffer.write(b"%d %d\n" % (ole.num_fat_sectors, ole.num_difat_sectors) + stream)
)";
  CompoundFile out;
  std::string output;
  if (RunProgram({"/usr/bin/python3", "-c", kScript, path}, &output) != 0 ||
      std::sscanf(output.c_str(), "%u %u", &out.fatSectors, &out.difatSectors) != 2) {
    out.error = "olefile or a sector rule rejected the file (see the error output)";
    return out;
  }
  out.workbook = output.substr(output.find('\n') + 1);
  return out;
}

constexpr std::uint32_t kBof = 0x0809, kWindow1 = 0x003D, kFont = 0x0031, kXf = 0x00E0,
                        kStyle = 0x0293, kBoundSheet = 0x0085, kSst = 0x00FC, kContinue = 0x003C,
                        kEof = 0x000A, kIndex = 0x020B, kDimensions = 0x0200, kRow = 0x0208,
                        kLabelSst = 0x00FD, kDbCell = 0x00D7, kWindow2 = 0x023E;

// A workbook stream taken apart record by record; `error` names the first broken rule.
struct ParsedWorkbook {
  struct Record {
    std::size_t offset;
    std::uint32_t type;
    std::string body;
  };
  struct Label {
    std::uint32_t row, column, sst;
    std::size_t offset;
  };
  struct Sheet {
    std::size_t bofOffset = 0;
    std::vector<std::uint32_t> types, indexDbCells, dbCells;  // DBCELL stream offsets
    std::uint32_t indexFirst = 0, indexEnd = 0;
    std::uint32_t dimFirstRow = 0, dimRowEnd = 0, dimFirstColumn = 0, dimColumnEnd = 0;
    std::vector<Label> labels;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::u16string> cells;
  };
  std::string error;
  std::vector<Record> records;  // in stream order
  std::vector<std::uint32_t> globalTypes;
  std::vector<std::pair<std::uint32_t, std::u16string>> sheets;  // BOUNDSHEET position, name
  std::uint32_t sstTotal = 0;
  std::vector<std::u16string> strings;
  int continues = 0, splitStrings = 0;
  std::vector<Sheet> sheetData;
};

// `count` characters of `bytes` from `at`: 16-bit units when `wide`, else 8-bit ones.
inline std::u16string Characters(const std::string& bytes, std::size_t at, std::size_t count,
                                 bool wide) {
  std::u16string text;
  for (std::size_t i = 0; i < count; ++i)
    text.push_back(static_cast<char16_t>(wide ? Le16(bytes, at + 2 * i)
                                              : static_cast<unsigned char>(bytes[at + i])));
  return text;
}

// The characters of an encoded cell text (option byte first), as UTF-16 code units.
inline std::u16string EncodedUnits(const std::string& encoded) {
  const bool wide = encoded.at(0) & 1;
  return Characters(encoded, 1, (encoded.size() - 1) / (wide ? 2 : 1), wide);
}

// Reads the SST and its CONTINUE records, enforcing the split rules of the format.
inline void ParseSst(const std::vector<std::string>& parts, ParsedWorkbook* out) {
  out->sstTotal = Le32(parts[0], 0);
  std::size_t part = 0, at = 8;
  for (std::uint32_t s = 0, unique = Le32(parts[0], 4); s < unique && out->error.empty(); ++s) {
    if (at == parts[part].size())
      ++part, at = 0;
    if (part >= parts.size() || at + 3 > parts[part].size()) {
      out->error = "string header split";
      return;
    }
    std::size_t left = Le16(parts[part], at);
    bool wide = parts[part][at + 2] & 1;
    const std::size_t whole = 3 + left * (wide ? 2 : 1);
    at += 3;
    std::u16string text;
    for (int pieces = 1;; ++pieces) {
      const std::size_t now = std::min(left, (parts[part].size() - at) / (wide ? 2 : 1));
      text += Characters(parts[part], at, now, wide);
      at += now * (wide ? 2 : 1);
      left -= now;
      if (left == 0) {
        if (pieces > 1 && whole <= 8224)
          out->error = "a string that fits one record was split";
        out->splitStrings += pieces > 1;
        break;
      }
      if (at != parts[part].size() || ++part >= parts.size()) {
        out->error = "string cut short";
        return;
      }
      if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF)
        out->error = "a surrogate pair split between records";
      wide = parts[part][0] & 1;  // each continuing piece repeats the option byte
      at = 1;
    }
    out->strings.push_back(text);
  }
}

inline ParsedWorkbook ParseWorkbook(const std::string& path) {
  ParsedWorkbook out;
  const CompoundFile compound = ReadCompoundFile(path);
  out.error = compound.error;
  std::vector<ParsedWorkbook::Record>& records = out.records;
  const std::string& stream = compound.workbook;
  for (std::size_t at = 0; out.error.empty() && at + 4 <= stream.size();
       at += 4 + Le16(stream, at + 2)) {
    if (Le16(stream, at + 2) > 8224)
      out.error = "record longer than 8224 bytes";
    records.push_back({at, Le16(stream, at), stream.substr(at + 4, Le16(stream, at + 2))});
  }
  std::size_t i = 0;
  std::vector<std::string> sstParts;
  for (; out.error.empty() && i < records.size(); ++i) {
    const ParsedWorkbook::Record& r = records[i];
    out.globalTypes.push_back(r.type);
    if (r.type == kEof)
      break;
    if (r.type == kBoundSheet)
      out.sheets.emplace_back(Le32(r.body, 0),
                              Characters(r.body, 8, Le16(r.body, 6) & 0xFF, r.body[7] & 1));
    if (r.type == kSst || r.type == kContinue) {
      sstParts.push_back(r.body);
      out.continues += r.type == kContinue;
    }
  }
  if (out.error.empty() && sstParts.empty())
    out.error = "no SST";
  if (!out.error.empty())
    return out;
  ParseSst(sstParts, &out);
  std::size_t labelCount = 0;
  std::vector<bool> used(out.strings.size(), false);
  for (++i; out.error.empty() && i < records.size(); ++i) {
    const ParsedWorkbook::Record& r = records[i];
    if (r.type == kBof)
      out.sheetData.push_back({}), out.sheetData.back().bofOffset = r.offset;
    ParsedWorkbook::Sheet& sheet = out.sheetData.back();
    sheet.types.push_back(r.type);
    if (r.type == kIndex) {
      sheet.indexFirst = Le32(r.body, 4), sheet.indexEnd = Le32(r.body, 8);
      for (std::size_t at = 16; at < r.body.size(); at += 4)
        sheet.indexDbCells.push_back(Le32(r.body, at));
    } else if (r.type == kDimensions) {
      sheet.dimFirstRow = Le32(r.body, 0), sheet.dimRowEnd = Le32(r.body, 4);
      sheet.dimFirstColumn = Le16(r.body, 8), sheet.dimColumnEnd = Le16(r.body, 10);
    } else if (r.type == kLabelSst) {
      const ParsedWorkbook::Label cell{Le16(r.body, 0), Le16(r.body, 2), Le32(r.body, 6), r.offset};
      ++labelCount;
      sheet.labels.push_back(cell);
      if (cell.sst >= out.strings.size())
        out.error = "LABELSST index outside the SST";
      else
        sheet.cells[{cell.row, cell.column}] = out.strings[cell.sst], used[cell.sst] = true;
    } else if (r.type == kDbCell) {
      sheet.dbCells.push_back(static_cast<std::uint32_t>(r.offset));
      // The DBCELL leads back to its block's first ROW and on to each row's first cell; each
      // ROW spans its row's cells, which come in column order.
      const std::size_t back = r.offset - Le32(r.body, 0);
      std::size_t j = i;
      while (j > 0 && records[j - 1].offset >= back)
        --j;
      if (records[j].offset != back || records[j].type != kRow)
        out.error = "DBCELL does not point at the block's first ROW";
      std::size_t cellAt = back + 20;
      for (std::size_t at = 4; out.error.empty() && at < r.body.size(); at += 2, ++j) {
        cellAt += Le16(r.body, at);
        const std::uint32_t row = Le16(records[j].body, 0);
        std::vector<ParsedWorkbook::Label> cells;
        std::copy_if(sheet.labels.begin(), sheet.labels.end(), std::back_inserter(cells),
                     [&](const auto& c) { return c.row == row; });
        if (records[j].type != kRow || cells.empty() || cells.front().offset != cellAt)
          out.error = "DBCELL row offset wrong";
        else if (Le16(records[j].body, 2) != cells.front().column ||
                 Le16(records[j].body, 4) != cells.back().column + 1 ||
                 !std::is_sorted(cells.begin(), cells.end(),
                                 [](const auto& a, const auto& b) { return a.column < b.column; }))
          out.error = "ROW column range or cell order wrong";
      }
    }
  }
  if (out.error.empty() && labelCount != out.sstTotal)
    out.error = "SST total differs from the text cells";
  if (out.error.empty() && std::find(used.begin(), used.end(), false) != used.end())
    out.error = "SST holds a string no cell uses";
  return out;
}

}  // namespace ds::testing
