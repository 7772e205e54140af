#pragma once

// Test-side reader written from the published formats, apart from the writer's code: follows
// the compound file's DIFAT, FAT and mini FAT to the stream, then takes the BIFF8 records apart
// checking record sizes, SST splits, ROW ranges, DBCELL/INDEX offsets and BOUNDSHEET positions.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <string>
#include <vector>

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
  std::uint32_t fatSectors = 0, difatSectors = 0;
  bool inMiniStream = false;
  std::string workbook;  // the "Workbook" stream
};

inline CompoundFile ReadCompoundFile(const std::string& file) {
  constexpr std::uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFat = 0xFFFFFFFD,
                          kDif = 0xFFFFFFFC;
  CompoundFile out;
  const auto fail = [&](const std::string& what) {
    out.error = what;
    return out;
  };
  // Version 3.0x3B, little-endian, 512-byte sectors, 64-byte mini sectors, cutoff 4096.
  if (file.size() < 1024 || file.size() % 512 != 0 ||
      file.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") != 0 || Le16(file, 24) != 0x3B ||
      Le16(file, 26) != 3 || Le16(file, 28) != 0xFFFE || Le16(file, 30) != 9 ||
      Le16(file, 32) != 6 || Le32(file, 56) != 4096)
    return fail("size, signature, version, byte order, sector sizes or cutoff");
  const std::size_t sectorCount = file.size() / 512 - 1;
  const auto sector = [&](std::uint32_t n) { return file.substr(512 + std::size_t{n} * 512, 512); };
  out.fatSectors = Le32(file, 44);
  out.difatSectors = Le32(file, 72);

  // FAT sector numbers: 109 in the header, the rest in the DIFAT chain.
  std::vector<std::uint32_t> fatList;
  const auto listFat = [&](const std::string& bytes, std::size_t at, int count) {
    for (int i = 0; i < count; ++i) {
      if (const std::uint32_t n = Le32(bytes, at + 4 * i); n != kFree)
        fatList.push_back(n);
    }
  };
  listFat(file, 76, 109);
  std::uint32_t difat = Le32(file, 68);
  for (std::uint32_t k = 0; k < out.difatSectors; ++k, difat = Le32(sector(difat), 508)) {
    if (difat >= sectorCount)
      return fail("DIFAT chain leaves the file");
    listFat(sector(difat), 0, 127);
  }
  if (difat != kEnd || fatList.size() != out.fatSectors)
    return fail("DIFAT chain does not end or lists another FAT sector count");
  std::vector<std::uint32_t> fat;
  for (std::uint32_t n : fatList) {
    if (n >= sectorCount)
      return fail("FAT sector outside the file");
    for (int i = 0; i < 128; ++i)
      fat.push_back(Le32(sector(n), 4 * i));
  }
  if (fat.size() < sectorCount ||
      std::any_of(fatList.begin(), fatList.end(),
                  [&](std::uint32_t n) { return fat[n] != kFat; }) ||
      static_cast<std::size_t>(std::count(fat.begin(), fat.begin() + sectorCount, kDif)) !=
          out.difatSectors)
    return fail("FAT short of the file, or FAT/DIFAT sectors not marked as such");

  std::vector<bool> used(sectorCount, false);
  const auto chain = [&](std::uint32_t start, std::string* bytes) {
    for (std::uint32_t n = start; n != kEnd; n = fat[n]) {
      if (n >= sectorCount || used[n])
        return false;
      used[n] = true;
      *bytes += sector(n);
    }
    return true;
  };
  std::string directory;
  if (!chain(Le32(file, 48), &directory))
    return fail("directory chain");
  std::uint32_t rootStart = kEnd, rootSize = 0, bookStart = kEnd, bookSize = 0;
  std::string names;
  for (std::size_t at = 0; at + 128 <= directory.size(); at += 128) {
    const std::uint32_t type = static_cast<unsigned char>(directory[at + 66]);
    if (type == 0)
      continue;
    std::string name;
    for (std::uint32_t i = 0; i + 2 < Le16(directory, at + 64); i += 2)
      name += static_cast<char>(Le16(directory, at + i));
    names += name + ";";
    if (type == 5) {
      rootStart = Le32(directory, at + 116);
      rootSize = Le32(directory, at + 120);
    } else if (name == "Workbook" && type == 2) {
      bookStart = Le32(directory, at + 116);
      bookSize = Le32(directory, at + 120);
    }
  }
  if (names != "Root Entry;Workbook;")
    return fail("directory entries other than the root and \"Workbook\": " + names);
  out.inMiniStream = bookSize < 4096;
  if (out.inMiniStream) {
    std::string miniFat, miniStream;
    if (!chain(Le32(file, 60), &miniFat) || !chain(rootStart, &miniStream))
      return fail("mini FAT or mini stream chain");
    if (miniStream.size() < rootSize)
      return fail("mini stream shorter than the root entry says");
    for (std::uint32_t n = bookStart; n != kEnd; n = Le32(miniFat, 4 * n)) {
      if (4 * std::size_t{n} + 4 > miniFat.size() || 64 * std::size_t{n} + 64 > rootSize)
        return fail("mini chain leaves the mini stream");
      out.workbook += miniStream.substr(64 * std::size_t{n}, 64);
    }
  } else if (!chain(bookStart, &out.workbook)) {
    return fail("stream chain");
  }
  if (out.workbook.size() < bookSize)
    return fail("stream chain shorter than its size");
  out.workbook.resize(bookSize);
  for (std::uint32_t n = 0; n < sectorCount; ++n) {
    if (used[n] == (fat[n] == kFat || fat[n] == kDif || fat[n] == kFree))
      return fail("sector " + std::to_string(n) + " is marked unlike its use");
  }
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
  bool inMiniStream = false;
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
  for (std::size_t i = 0; i < count; ++i) {
    text.push_back(static_cast<char16_t>(wide ? Le16(bytes, at + 2 * i)
                                              : static_cast<unsigned char>(bytes[at + i])));
  }
  return text;
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

inline ParsedWorkbook ParseWorkbook(const std::string& file) {
  ParsedWorkbook out;
  const CompoundFile compound = ReadCompoundFile(file);
  out.error = compound.error;
  out.inMiniStream = compound.inMiniStream;
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
      sheet.indexFirst = Le32(r.body, 4);
      sheet.indexEnd = Le32(r.body, 8);
      for (std::size_t at = 16; at < r.body.size(); at += 4)
        sheet.indexDbCells.push_back(Le32(r.body, at));
    } else if (r.type == kDimensions) {
      sheet.dimFirstRow = Le32(r.body, 0);
      sheet.dimRowEnd = Le32(r.body, 4);
      sheet.dimFirstColumn = Le16(r.body, 8);
      sheet.dimColumnEnd = Le16(r.body, 10);
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
