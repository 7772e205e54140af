#include <cstddef>
#include <cstdint>
#include <string_view>

#include "text/ini_file_reader.h"
#include "text/leading_integer.h"

// Feeds arbitrary bytes to the key=value parser and checks its invariants.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  ds::IniFileReader reader = ds::IniFileReader::FromText(text);
  if (reader.keys().size() != reader.values().size())
    __builtin_trap();
  for (const std::string& key : reader.keys()) {
    if (key.find('=') != std::string::npos || key.find('\n') != std::string::npos)
      __builtin_trap();
    std::string value = reader.lookup(key);
    (void)ds::LeadingInteger64(value);
  }
  return 0;
}
