#include "monitor/exposition_text.h"

#include <cstdio>

namespace ds {

std::string LabelValue(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\\' || byte == '"') {
      out += '\\';
      out += static_cast<char>(byte);
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += ' ';
    } else if (byte < 0x80) {
      out += static_cast<char>(byte);
    } else {
      std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 0;
      bool valid = length > 0 && byte <= 0xF4 && i + length <= text.size();
      for (std::size_t k = 1; valid && k < length; ++k)
        valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
      if (valid) {
        out.append(text.substr(i, length));
        i += length - 1;
      } else {
        out += '?';
      }
    }
  }
  return out;
}

std::string Label(std::string_view name, std::string_view value) {
  return std::string(name) + "=\"" + LabelValue(value) + "\"";
}

std::string SampleNumber(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

Family::Family(std::string* out, const char* name, const char* type, const char* help)
    : out_(out), name_(name) {
  *out_ += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void Family::Sample(const std::string& labels, const std::string& value) {
  *out_ += name_ + (labels.empty() ? "" : "{" + labels + "}") + " " + value + "\n";
}

}  // namespace ds
