#include "pages/template_expander.h"

#include <algorithm>

#include "pages/unicode_text_file.h"
#include "platform/file_system.h"

namespace ds {
namespace {

constexpr std::string_view kHtmlEnd = "</html>";

// Templates are small; anything this large is not a template.
constexpr std::size_t kMaxTemplateBytes = 64u << 20;

std::string TextModeRead(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find('\0'));
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t at = bytes.find("\r\n"); at != std::string_view::npos; at = bytes.find("\r\n")) {
    text.append(bytes.substr(0, at));
    bytes.remove_prefix(at + 1);  // keep the LF
  }
  text.append(bytes);
  return text;
}

std::string TextModeWrite(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 32);
  for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n')) {
    bytes.append(text.substr(0, at));
    bytes += "\r\n";
    text.remove_prefix(at + 1);
  }
  bytes.append(text);
  return bytes;
}

// The text being expanded, kept as views into the template and the values so that a key
// costs one scan of the text and no copy of it.
class PieceText {
 public:
  // Indexes where the first two bytes of each key occur in `text`, so that a key is found
  // in the template's own text by checking those places only.
  PieceText(std::string_view text, const std::vector<std::string>& keys) : original_(text) {
    if (!text.empty())
      pieces_.push_back(text);
    slotOfPair_.assign(1u << 16, -1);
    for (const std::string& key : keys) {
      if (key.size() < 2)
        continue;
      int& slot = slotOfPair_[PairAt(key.data())];
      if (slot < 0) {
        slot = static_cast<int>(pairPositions_.size());
        pairPositions_.emplace_back();
      }
    }
    if (pairPositions_.empty())
      return;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
      int slot = slotOfPair_[PairAt(text.data() + i)];
      if (slot >= 0)
        pairPositions_[static_cast<std::size_t>(slot)].push_back(i);
    }
  }

  // Replaces every occurrence of `key`, leftmost first and without overlaps, by `value`.
  void Replace(std::string_view key, std::string_view value) {
    std::vector<std::size_t> starts = Occurrences(key);
    if (starts.empty())
      return;
    std::vector<std::string_view> next;
    next.reserve(pieces_.size() + 2 * starts.size());
    std::size_t piece = 0, offset = 0, position = 0, end = 0;
    for (std::size_t start : starts) {
      if (start < end)
        continue;  // overlaps the previous match
      Copy(position, start, &piece, &offset, &next);
      if (!value.empty())
        next.push_back(value);
      Skip(key.size(), &piece, &offset);
      position = end = start + key.size();
    }
    Copy(position, total(), &piece, &offset, &next);
    pieces_ = std::move(next);
  }

  std::string str() const {
    std::string text;
    text.reserve(total());
    for (std::string_view piece : pieces_)
      text.append(piece);
    return text;
  }

 private:
  static std::size_t PairAt(const char* at) {
    return static_cast<unsigned char>(at[0]) |
           static_cast<std::size_t>(static_cast<unsigned char>(at[1])) << 8;
  }

  // Finds `key` in a piece of the template's own text through the index; false when the
  // piece is not template text or the key is not indexed (the caller then scans).
  bool FindIndexed(std::string_view piece, std::string_view key, std::size_t base,
                   std::vector<std::size_t>* starts) const {
    if (key.size() < 2 || piece.data() < original_.data() ||
        piece.data() + piece.size() > original_.data() + original_.size()) {
      return false;
    }
    const int slot = slotOfPair_[PairAt(key.data())];
    if (slot < 0)
      return false;
    const std::vector<std::size_t>& positions = pairPositions_[static_cast<std::size_t>(slot)];
    const std::size_t first = static_cast<std::size_t>(piece.data() - original_.data());
    if (piece.size() < key.size())
      return true;
    const std::size_t last = first + piece.size() - key.size();
    for (auto it = std::lower_bound(positions.begin(), positions.end(), first);
         it != positions.end() && *it <= last; ++it) {
      if (original_.compare(*it, key.size(), key) == 0)
        starts->push_back(base + *it - first);
    }
    return true;
  }

  std::size_t total() const {
    std::size_t size = 0;
    for (std::string_view piece : pieces_)
      size += piece.size();
    return size;
  }

  // Start positions of every occurrence of `key` (overlapping ones included), ascending.
  std::vector<std::size_t> Occurrences(std::string_view key) const {
    std::vector<std::size_t> starts;
    std::size_t base = 0;
    for (std::size_t p = 0; p < pieces_.size(); ++p) {
      std::string_view piece = pieces_[p];
      if (!FindIndexed(piece, key, base, &starts)) {
        for (std::size_t at = piece.find(key); at != std::string_view::npos;
             at = piece.find(key, at + 1)) {
          starts.push_back(base + at);
        }
      }
      base += piece.size();
      if (p + 1 < pieces_.size())
        AcrossBoundary(p, base, key, &starts);
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    return starts;
  }

  // Occurrences that begin before `boundary` (the end of piece `p`) and end after it.
  void AcrossBoundary(std::size_t p, std::size_t boundary, std::string_view key,
                      std::vector<std::size_t>* starts) const {
    if (key.size() < 2)
      return;
    const std::size_t reach = key.size() - 1;
    // The up to `reach` bytes before the boundary, gathered back to front.
    std::size_t first = p + 1, beforeSize = 0, firstOffset = 0;
    while (first > 0 && beforeSize < reach) {
      std::string_view piece = pieces_[--first];
      std::size_t take = std::min(reach - beforeSize, piece.size());
      beforeSize += take;
      firstOffset = piece.size() - take;
    }
    window_.clear();
    window_.append(pieces_[first].substr(firstOffset));
    for (std::size_t q = first + 1; q <= p; ++q)
      window_.append(pieces_[q]);
    for (std::size_t q = p + 1; q < pieces_.size() && window_.size() < beforeSize + reach; ++q) {
      window_.append(pieces_[q].substr(0, beforeSize + reach - window_.size()));
    }
    for (std::size_t at = window_.find(key); at != std::string::npos && at < beforeSize;
         at = window_.find(key, at + 1)) {
      if (at + key.size() > beforeSize)
        starts->push_back(boundary - beforeSize + at);
    }
  }

  // Appends the text from `from` to `to` (the cursor stands at `from`) and moves on.
  void Copy(std::size_t from, std::size_t to, std::size_t* piece, std::size_t* offset,
            std::vector<std::string_view>* out) const {
    std::size_t left = to - from;
    while (left > 0 && *piece < pieces_.size()) {
      std::string_view rest = pieces_[*piece].substr(*offset);
      std::size_t take = std::min(left, rest.size());
      out->push_back(rest.substr(0, take));
      Advance(take, piece, offset);
      left -= take;
    }
  }

  void Skip(std::size_t count, std::size_t* piece, std::size_t* offset) const {
    while (count > 0 && *piece < pieces_.size()) {
      std::size_t take = std::min(count, pieces_[*piece].size() - *offset);
      Advance(take, piece, offset);
      count -= take;
    }
  }

  void Advance(std::size_t count, std::size_t* piece, std::size_t* offset) const {
    *offset += count;
    if (*offset == pieces_[*piece].size()) {
      ++*piece;
      *offset = 0;
    }
  }

  std::string_view original_;
  std::vector<std::string_view> pieces_;
  std::vector<int> slotOfPair_;                          // first two key bytes -> slot
  std::vector<std::vector<std::size_t>> pairPositions_;  // per slot, ascending
  mutable std::string window_;                           // scratch text around a boundary
};

}  // namespace

std::string ReplaceFields(std::string text, const PageFields& fields) {
  PieceText pieces(text, fields.keys());
  for (std::size_t i = 0; i < fields.count(); ++i) {
    // An empty key matches nothing.
    if (!fields.keys()[i].empty())
      pieces.Replace(fields.keys()[i], fields.values()[i]);
  }
  return pieces.str();
}

bool ExpandTemplate(const std::string& templatePath, const std::string& outputPath,
                    const PageFields& fields, std::string* message, FileAccess access) {
  if (!FileExists(templatePath)) {
    SetMessage(message, "the page template " + templatePath + " is missing");
    return false;
  }
  std::string bytes;
  if (!ReadWholeFile(templatePath, kMaxTemplateBytes, &bytes, message))
    return false;
  std::string text = ReplaceFields(TextModeRead(bytes), fields);
  std::size_t end = text.find(kHtmlEnd);
  if (end != std::string::npos)
    text.resize(end + kHtmlEnd.size());
  return ReplaceFileAtomically(outputPath, TextModeWrite(text), access, message,
                               FileDurability::kUnflushed);
}

bool ExpandTemplateWide(const std::string& templatePath, const std::string& outputPath,
                        const PageFields& fields, std::string* message) {
  if (!FileExists(templatePath)) {
    SetMessage(message, "the page template " + templatePath + " is missing");
    return false;
  }
  std::string bytes;
  if (!ReadWholeFile(templatePath, kMaxTemplateBytes, &bytes, message))
    return false;
  std::string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    text += bytes[i];
  text = ReplaceFields(std::move(text), fields);
  return ReplaceFileAtomically(outputPath, ToUtf16LeWithBom(text), FileAccess::kShared, message,
                               FileDurability::kUnflushed);
}

}  // namespace ds
