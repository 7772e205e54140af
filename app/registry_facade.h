#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/registry.h"
#include "platform/machine_facts.h"

// The registry on Linux: the program's own keys (browser emulation, SOFTWARE\NORVIK, the
// Run value) live in a key file of the data folder; the system values it reads (storage
// controllers, board and BIOS) are answered from facts of the machine and cannot be written.
// Writing the Run value is mirrored by `onRunValue` (the start at system startup).
namespace ds {

// The machine facts the system keys answer with.
struct SystemRegistryFacts {
  std::vector<StorageControllerFacts> controllers;  // subkeys 0000, 0001, ... of the class key
  // The values of the BIOS key; an absent one cannot be read.
  std::optional<std::string> baseBoardManufacturer, baseBoardProduct, baseBoardVersion;
  std::optional<std::string> biosVendor, biosVersion, biosReleaseDate;
};

// The facts of the system keys from the machine's facts.
SystemRegistryFacts SystemRegistryFactsOf(const MachineFacts& machine);

class RegistryFacade : public Registry {
 public:
  // `keyFile` "" keeps everything in memory. A key file that does not exist yet is seeded
  // as a machine would have it: the browser-emulation key and the Run key exist.
  RegistryFacade(std::string keyFile, SystemRegistryFacts facts,
                 std::function<void(const std::string& command)> onRunValue = {});

  bool KeyExists(const std::string& key) const override;
  bool CreateKey(const std::string& key) override;
  bool QueryDword(const std::string& key, const std::string& name,
                  std::uint32_t* value) const override;
  bool QueryString(const std::string& key, const std::string& name,
                   std::string* value) const override;
  bool SetDword(const std::string& key, const std::string& name, std::uint32_t value) override;
  bool SetString(const std::string& key, const std::string& name,
                 const std::string& value) override;

 private:
  struct Value {
    bool isDword = false;
    std::uint32_t dword = 0;
    std::string text;
  };
  using Key = std::map<std::string, Value>;  // by folded value name

  bool SystemKey(const std::string& folded) const;
  const Value* SystemValue(const std::string& folded, const std::string& name,
                           Value* scratch) const;
  bool SetValue(const std::string& key, const std::string& name, Value value);
  void Load();
  void Save() const;

  std::string keyFile_;
  SystemRegistryFacts facts_;
  std::function<void(const std::string&)> onRunValue_;
  std::map<std::string, Key> keys_;  // by folded key path
};

// The key file's escape of a text: "\" "\t" "\n" and "\r" as "\\" "\t" "\n" "\r".
std::string EscapeRegistryText(const std::string& text);
std::string UnescapeRegistryText(const std::string& text);

}  // namespace ds
