#pragma once

#include <string>
#include <string_view>

// Pieces of the Prometheus text exposition format (version 0.0.4) shared by the exporter's
// families: label values, numbers, and one family's HELP, TYPE and sample lines.
namespace ds {

// A label value: UTF-8 (other bytes become "?"), with "\", '"' and line ends escaped.
std::string LabelValue(std::string_view text);

// `name="value"` with the value escaped.
std::string Label(std::string_view name, std::string_view value);

// A sample value: the shortest text that reads back as the same double.
std::string SampleNumber(double value);

// One metric family: its HELP and TYPE lines when made, then every sample.
class Family {
 public:
  Family(std::string* out, const char* name, const char* type, const char* help);
  void Sample(const std::string& labels, const std::string& value);

 private:
  std::string* out_;
  std::string name_;
};

}  // namespace ds
