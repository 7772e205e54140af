#include "web/request_text.h"

#include "text/text_helpers.h"

namespace ds {
namespace {

// Decodes %XX escapes (and "+" when `plusIsSpace`). With `strict`, a malformed escape or an
// escaped NUL fails; otherwise a malformed escape is kept as it stands.
bool Decode(std::string_view text, bool plusIsSpace, bool strict, std::string* out) {
  out->clear();
  out->reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+' && plusIsSpace) {
      c = ' ';
    } else if (c == '%') {
      const int high = i + 1 < text.size() ? HexDigitValue(text[i + 1]) : -1;
      const int low = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
      if (high >= 0 && low >= 0) {
        c = static_cast<char>(high * 16 + low);
        i += 2;
        if (strict && c == '\0')
          return false;
      } else if (strict) {
        return false;
      }
    }
    *out += c;
  }
  return true;
}

}  // namespace

bool SplitRequestTarget(std::string_view target, std::string* path, std::string* query) {
  if (target.empty() || target.front() != '/')
    return false;
  const std::size_t mark = target.find('?');
  query->assign(mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1));
  return Decode(target.substr(0, mark), false, true, path);
}

std::map<std::string, std::string> DecodeFormFields(std::string_view text) {
  std::map<std::string, std::string> fields;
  while (!text.empty()) {
    const std::size_t end = text.find('&');
    const std::string_view item = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (item.empty())
      continue;
    const std::size_t equals = item.find('=');
    std::string name;
    std::string value;
    Decode(item.substr(0, equals), true, false, &name);
    if (equals != std::string_view::npos)
      Decode(item.substr(equals + 1), true, false, &value);
    fields.emplace(std::move(name), std::move(value));
  }
  return fields;
}

}  // namespace ds
