#pragma once

#include <cstdint>
#include <string>

// The registry as the program sees it: keys by their full path ("HKEY_LOCAL_MACHINE\...",
// compared without regard to case) holding named DWORD and string values.
namespace ds {

inline constexpr const char* kBrowserEmulationKey =
    "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\"
    "FEATURE_BROWSER_EMULATION";
inline constexpr const char* kFeatureControlKey =
    "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl";
inline constexpr const char* kStorageClassKey =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
    "{4D36E96A-E325-11CE-BFC1-08002BE10318}";
inline constexpr const char* kBiosKey = "HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System\\BIOS";
inline constexpr const char* kNorvikKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\NORVIK";
inline constexpr const char* kRunKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunValueName = "NorvikDriveSentinel";

class Registry {
 public:
  virtual ~Registry() = default;
  virtual bool KeyExists(const std::string& key) const = 0;
  // Creates the key (its parents are implied); true when it exists afterwards.
  virtual bool CreateKey(const std::string& key) = 0;
  // Reads fail for a missing key or value or a value of the other type.
  virtual bool QueryDword(const std::string& key, const std::string& name,
                          std::uint32_t* value) const = 0;
  virtual bool QueryString(const std::string& key, const std::string& name,
                           std::string* value) const = 0;
  // Writes fail when the key does not exist or cannot be written.
  virtual bool SetDword(const std::string& key, const std::string& name, std::uint32_t value) = 0;
  virtual bool SetString(const std::string& key, const std::string& name,
                         const std::string& value) = 0;
};

}  // namespace ds
