#include "drive/drive_record.h"

#include <cstdio>

namespace ds {

namespace {

std::string Format(const char* format, unsigned long long value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

void SetDriveText(std::string& field, std::string_view text) {
  field.assign(text.substr(0, kDriveTextCapacity - 1));
}

void AppendDriveText(std::string& field, std::string_view text) {
  if (field.empty()) {
    SetDriveText(field, text);
    return;
  }
  std::string joined = field;
  joined += ", ";
  joined += text;
  SetDriveText(field, joined);
}

std::string SmartAttribute::flagsText() const {
  return Format("0x%04llX", flags);
}
std::string SmartAttribute::currentText() const {
  return Format("%llu", current);
}
std::string SmartAttribute::worstText() const {
  return Format("%llu", worst);
}
std::string SmartAttribute::thresholdText() const {
  return Format("%llu", threshold);
}

}  // namespace ds
