#include "pages/template_expander.h"

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
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
      continue;
    text += bytes[i];
  }
  return text;
}

std::string TextModeWrite(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 32);
  for (char c : text) {
    if (c == '\n')
      bytes += '\r';
    bytes += c;
  }
  return bytes;
}

}  // namespace

std::string ReplaceFields(std::string text, const PageFields& fields) {
  for (std::size_t i = 0; i < fields.count(); ++i) {
    const std::string& key = fields.keys()[i];
    if (key.empty())
      continue;  // an empty key matches nothing
    std::size_t at = text.find(key);
    if (at == std::string::npos)
      continue;
    const std::string& value = fields.values()[i];
    std::string replaced;
    replaced.reserve(text.size() + value.size());
    std::size_t from = 0;
    for (; at != std::string::npos; at = text.find(key, from)) {
      replaced.append(text, from, at - from);
      replaced += value;
      from = at + key.size();
    }
    replaced.append(text, from, std::string::npos);
    text = std::move(replaced);
  }
  return text;
}

int ExpandTemplate(const std::string& templatePath, const std::string& outputPath,
                   const PageFields& fields, std::string* message) {
  if (!FileExists(templatePath))
    return 0;
  std::string bytes;
  if (!ReadWholeFile(templatePath, kMaxTemplateBytes, &bytes, message))
    return 0;
  std::string text = ReplaceFields(TextModeRead(bytes), fields);
  std::size_t end = text.find(kHtmlEnd);
  if (end != std::string::npos)
    text.resize(end + kHtmlEnd.size());
  return ReplaceFileAtomically(outputPath, TextModeWrite(text), FileAccess::kShared, message) ? 1
                                                                                              : 0;
}

int ExpandTemplateWide(const std::string& templatePath, const std::string& outputPath,
                       const PageFields& fields, std::string* message) {
  if (!FileExists(templatePath))
    return 0;
  std::string bytes;
  if (!ReadWholeFile(templatePath, kMaxTemplateBytes, &bytes, message))
    return 0;
  std::string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    text += bytes[i];
  text = ReplaceFields(std::move(text), fields);
  return ReplaceFileAtomically(outputPath, ToUtf16LeWithBom(text), FileAccess::kShared, message)
             ? 1
             : 0;
}

}  // namespace ds
