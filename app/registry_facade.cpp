#include "app/registry_facade.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "platform/file_system.h"
#include "text/ini_file_reader.h"

namespace ds {
namespace {

// Registry strings are read through 256-byte buffers.
constexpr std::size_t kMaxSystemText = 255;

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t tab = line.find('	', start);
    parts.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos)
      break;
    start = tab + 1;
  }
  return parts;
}

}  // namespace

SystemRegistryFacts SystemRegistryFactsOf(const MachineFacts& machine) {
  SystemRegistryFacts facts;
  facts.controllers = machine.storageControllers;
  facts.baseBoardManufacturer = machine.boardVendor;
  facts.baseBoardProduct = machine.boardProduct;
  facts.baseBoardVersion = machine.boardVersion;
  facts.biosVendor = machine.biosVendor;
  facts.biosVersion = machine.biosVersion;
  facts.biosReleaseDate = machine.biosDate;
  return facts;
}

std::string EscapeRegistryText(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string UnescapeRegistryText(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char next = text[++i];
    out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

RegistryFacade::RegistryFacade(std::string keyFile, SystemRegistryFacts facts,
                               std::function<void(const std::string&)> onRunValue)
    : keyFile_(std::move(keyFile)), facts_(std::move(facts)), onRunValue_(std::move(onRunValue)) {
  Load();
}

bool RegistryFacade::SystemKey(const std::string& folded) const {
  std::string classKey = FoldCase(kStorageClassKey);
  if (folded == classKey || folded == FoldCase(kBiosKey))
    return true;
  if (folded.size() != classKey.size() + 5 || folded.compare(0, classKey.size(), classKey) != 0 ||
      folded[classKey.size()] != '\\') {
    return false;
  }
  std::string digits = folded.substr(classKey.size() + 1);
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  return static_cast<std::size_t>(std::stoi(digits)) < facts_.controllers.size();
}

const RegistryFacade::Value* RegistryFacade::SystemValue(const std::string& folded,
                                                         const std::string& name,
                                                         Value* scratch) const {
  std::string foldedName = FoldCase(name);
  std::string classKey = FoldCase(kStorageClassKey);
  if (folded == FoldCase(kBiosKey)) {
    const std::pair<const char*, const std::optional<std::string>*> values[] = {
        {"baseboardmanufacturer", &facts_.baseBoardManufacturer},
        {"baseboardproduct", &facts_.baseBoardProduct},
        {"baseboardversion", &facts_.baseBoardVersion},
        {"biosvendor", &facts_.biosVendor},
        {"biosversion", &facts_.biosVersion},
        {"biosreleasedate", &facts_.biosReleaseDate}};
    for (const auto& [valueName, value] : values) {
      if (foldedName == valueName && value->has_value()) {
        scratch->text = (*value)->substr(0, kMaxSystemText);
        return scratch;
      }
    }
    return nullptr;
  }
  if (folded == classKey || !SystemKey(folded))
    return nullptr;
  const StorageControllerFacts& controller =
      facts_.controllers[static_cast<std::size_t>(std::stoi(folded.substr(classKey.size() + 1)))];
  if (foldedName == "driverdesc") {
    scratch->text = controller.driverDesc.substr(0, kMaxSystemText);
  } else if (foldedName == "driverversion") {
    scratch->text = controller.driverVersion.substr(0, kMaxSystemText);
  } else {
    return nullptr;
  }
  return scratch;
}

bool RegistryFacade::KeyExists(const std::string& key) const {
  std::string folded = FoldCase(key);
  return SystemKey(folded) || keys_.count(folded) > 0;
}

bool RegistryFacade::CreateKey(const std::string& key) {
  std::string folded = FoldCase(key);
  if (SystemKey(folded))
    return true;
  if (keys_.count(folded) > 0)
    return true;
  keys_[folded];
  Save();
  return true;
}

bool RegistryFacade::QueryDword(const std::string& key, const std::string& name,
                                std::uint32_t* value) const {
  auto it = keys_.find(FoldCase(key));
  if (it == keys_.end())
    return false;
  auto found = it->second.find(FoldCase(name));
  if (found == it->second.end() || !found->second.isDword)
    return false;
  *value = found->second.dword;
  return true;
}

bool RegistryFacade::QueryString(const std::string& key, const std::string& name,
                                 std::string* value) const {
  std::string folded = FoldCase(key);
  Value scratch;
  if (const Value* system = SystemValue(folded, name, &scratch)) {
    *value = system->text;
    return true;
  }
  auto it = keys_.find(folded);
  if (it == keys_.end())
    return false;
  auto found = it->second.find(FoldCase(name));
  if (found == it->second.end() || found->second.isDword)
    return false;
  *value = found->second.text;
  return true;
}

bool RegistryFacade::SetValue(const std::string& key, const std::string& name, Value value) {
  std::string folded = FoldCase(key);
  if (SystemKey(folded))
    return false;  // the machine's facts are read-only
  auto it = keys_.find(folded);
  if (it == keys_.end())
    return false;
  it->second[FoldCase(name)] = std::move(value);
  Save();
  return true;
}

bool RegistryFacade::SetDword(const std::string& key, const std::string& name,
                              std::uint32_t value) {
  Value v;
  v.isDword = true;
  v.dword = value;
  return SetValue(key, name, v);
}

bool RegistryFacade::SetString(const std::string& key, const std::string& name,
                               const std::string& value) {
  Value v;
  v.text = value;
  if (!SetValue(key, name, v))
    return false;
  if (FoldCase(key) == FoldCase(kRunKey) && FoldCase(name) == FoldCase(kRunValueName) &&
      onRunValue_) {
    onRunValue_(value);
  }
  return true;
}

void RegistryFacade::Load() {
  std::string text;
  if (keyFile_.empty() || !FileExists(keyFile_)) {
    // A machine as it comes: the browser's feature keys and the Run key exist.
    keys_[FoldCase(kBrowserEmulationKey)];
    keys_[FoldCase(kRunKey)];
    Save();
    return;
  }
  std::string ignored;
  if (!ReadWholeFile(keyFile_, 1u << 20, &text, &ignored))
    return;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> parts = SplitTabs(line);
    if (parts.size() == 2 && parts[0] == "key") {
      keys_[FoldCase(UnescapeRegistryText(parts[1]))];
    } else if (parts.size() == 4 && (parts[0] == "dword" || parts[0] == "string")) {
      Value value;
      value.isDword = parts[0] == "dword";
      if (value.isDword) {
        value.dword = static_cast<std::uint32_t>(std::strtoul(parts[3].c_str(), nullptr, 10));
      } else {
        value.text = UnescapeRegistryText(parts[3]);
      }
      keys_[FoldCase(UnescapeRegistryText(parts[1]))][FoldCase(UnescapeRegistryText(parts[2]))] =
          value;
    }
  }
}

void RegistryFacade::Save() const {
  if (keyFile_.empty())
    return;
  std::string text;
  for (const auto& [path, values] : keys_) {
    text += "key\t" + EscapeRegistryText(path) + "\n";
    for (const auto& [name, value] : values) {
      text += (value.isDword ? "dword\t" : "string\t") + EscapeRegistryText(path) + "\t" +
              EscapeRegistryText(name) + "\t" +
              (value.isDword ? std::to_string(value.dword) : EscapeRegistryText(value.text)) + "\n";
    }
  }
  std::string message;
  if (!ReplaceFileAtomically(keyFile_, text, FileAccess::kOwnerOnly, &message)) {
    std::fprintf(stderr, "drivesentinel: cannot write the registry file: %s\n", message.c_str());
  }
}

}  // namespace ds
