#include "store/disk_watch_state.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/file_system.h"
#include "store/history_folder.h"
#include "store/key_value_writer.h"
#include "store/settings_store.h"
#include "text/ini_file_reader.h"

namespace ds {
namespace {

constexpr std::string_view kStateSuffix = ".dat";

// Texts from a disk may hold line breaks, which would end their line and could plant a key;
// every control character is stored as "_", as the key's name rule has it.
std::string OneLine(std::string_view text) {
  std::string line(TrimBoth(text));
  for (char& c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F)
      c = '_';
  }
  return line;
}

template <typename Number>
bool ParseNumber(const std::string& text, Number* value) {
  const std::string_view trimmed = TrimBoth(text);
  const auto [end, error] =
      std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), *value);
  return error == std::errc() && end == trimmed.data() + trimmed.size();
}

// An optional number: "" for none.
template <typename Number>
bool ParseOptional(const std::string& text, std::optional<Number>* value) {
  value->reset();
  if (TrimBoth(text).empty())
    return true;
  Number number{};
  if (!ParseNumber(text, &number))
    return false;
  *value = number;
  return true;
}

template <typename Number>
std::string OptionalText(const std::optional<Number>& value) {
  return value ? std::to_string(*value) : std::string();
}

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos)
      end = text.size();
    if (end > start)
      words.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

// "5:0 196:12": the attribute baselines by id.
std::string AttributesText(const std::map<int, std::uint32_t>& attributes) {
  std::string text;
  for (const auto& [id, raw] : attributes)
    text += (text.empty() ? "" : " ") + std::to_string(id) + ":" + std::to_string(raw);
  return text;
}

bool ParseAttributes(std::string_view text, std::map<int, std::uint32_t>* attributes) {
  attributes->clear();
  for (const std::string& item : SplitWords(text)) {
    const std::size_t colon = item.find(':');
    int id = 0;
    std::uint32_t raw = 0;
    if (colon == std::string::npos || !ParseNumber(item.substr(0, colon), &id) ||
        !ParseNumber(item.substr(colon + 1), &raw)) {
      return false;
    }
    (*attributes)[id] = raw;
  }
  return true;
}

// "DESCRIPTOR TEST STATUS HOURS LBA", or "" for none.
std::string MarkText(const std::optional<SelfTestMark>& mark) {
  if (!mark)
    return "";
  return std::to_string(mark->descriptor) + " " + std::to_string(mark->test) + " " +
         std::to_string(mark->status) + " " + std::to_string(mark->powerOnHours) + " " +
         std::to_string(mark->failingLba);
}

bool ParseMark(std::string_view text, std::optional<SelfTestMark>* mark) {
  mark->reset();
  const std::vector<std::string> words = SplitWords(text);
  if (words.empty())
    return true;
  SelfTestMark m;
  if (words.size() != 5 || !ParseNumber(words[0], &m.descriptor) ||
      !ParseNumber(words[1], &m.test) || !ParseNumber(words[2], &m.status) ||
      !ParseNumber(words[3], &m.powerOnHours) || !ParseNumber(words[4], &m.failingLba)) {
    return false;
  }
  *mark = m;
  return true;
}

// A number that older files do not have: 0 when missing.
bool ParseOptionalZero(const std::string& text, std::int64_t* value) {
  *value = 0;
  return TrimBoth(text).empty() || ParseNumber(text, value);
}

bool IsStateFile(const std::filesystem::directory_entry& entry) {
  const std::string name = entry.path().filename().string();
  return entry.is_regular_file() && name.size() > kStateSuffix.size() &&
         name.ends_with(kStateSuffix);
}

}  // namespace

std::string DiskStateFolder(const std::string& home) {
  return home + "data/state/";
}

std::string DiskStateKey(std::string_view model, std::string_view serial) {
  return HistoryFolderName(model, serial);
}

std::string DiskWatchStateText(const DiskWatchState& state) {
  KeyValueWriter writer;
  writer.Add("model", OneLine(state.model));
  writer.Add("serial", OneLine(state.serial));
  writer.Add("firmware", OneLine(state.firmware));
  writer.Add("alerted", state.alerted ? 1 : 0);
  writer.Add("last_rearm", state.lastReArm);
  writer.Add("last_mailed", state.lastMailed);
  writer.Add("last_seen", state.lastSeen);
  writer.Add("absent_passes", state.absentPasses);
  writer.Add("gone_mailed", state.goneMailed ? 1 : 0);
  writer.Add("watched", state.watched ? 1 : 0);
  writer.Add("fired", OneLine(state.firedText));
  writer.Add("settings_stamp", OneLine(state.settingsStamp));
  const DiskReadings& r = state.readings;
  writer.Add("device", OneLine(r.device));
  writer.Add("drive_number", r.driveNumber);
  writer.Add("temperature", OptionalText(r.temperatureCelsius));
  writer.Add("health", OptionalText(r.healthPercent));
  writer.Add("lifespan_days", OptionalText(r.lifespanDays));
  writer.Add("last_good_read", r.lastGoodRead);
  std::optional<int> passed;
  if (r.smartStatusPassed)
    passed = *r.smartStatusPassed ? 1 : 0;
  writer.Add("smart_status_passed", OptionalText(passed));
  writer.Add("baseline_attributes", AttributesText(state.baselines.attributes));
  writer.Add("baseline_error_count", OptionalText(state.baselines.errorCount));
  writer.Add("baseline_selftest", MarkText(state.baselines.newestSelfTest));
  writer.Add("short_test_handled", state.shortTestHandled);
  writer.Add("extended_test_handled", state.extendedTestHandled);
  return writer.text();
}

std::optional<DiskWatchState> ParseDiskWatchState(std::string_view text) {
  const IniFileReader reader = IniFileReader::FromText(text);
  DiskWatchState state;
  state.model = reader.lookup("model");
  state.serial = reader.lookup("serial");
  state.firmware = reader.lookup("firmware");
  state.firedText = reader.lookup("fired");
  state.settingsStamp = reader.lookup("settings_stamp");
  DiskReadings& r = state.readings;
  r.device = reader.lookup("device");
  int alerted = 0, gone = 0, watched = 0;
  std::optional<int> passed;  // missing from older files: no verdict
  const bool ok =
      ParseNumber(reader.lookup("alerted"), &alerted) &&
      ParseNumber(reader.lookup("last_rearm"), &state.lastReArm) &&
      ParseNumber(reader.lookup("last_mailed"), &state.lastMailed) &&
      ParseNumber(reader.lookup("last_seen"), &state.lastSeen) &&
      ParseNumber(reader.lookup("absent_passes"), &state.absentPasses) &&
      ParseNumber(reader.lookup("gone_mailed"), &gone) &&
      ParseNumber(reader.lookup("watched"), &watched) &&
      ParseNumber(reader.lookup("drive_number"), &r.driveNumber) &&
      ParseOptional(reader.lookup("temperature"), &r.temperatureCelsius) &&
      ParseOptional(reader.lookup("health"), &r.healthPercent) &&
      ParseOptional(reader.lookup("lifespan_days"), &r.lifespanDays) &&
      ParseNumber(reader.lookup("last_good_read"), &r.lastGoodRead) &&
      ParseOptional(reader.lookup("smart_status_passed"), &passed) &&
      ParseAttributes(reader.lookup("baseline_attributes"), &state.baselines.attributes) &&
      ParseOptional(reader.lookup("baseline_error_count"), &state.baselines.errorCount) &&
      ParseMark(reader.lookup("baseline_selftest"), &state.baselines.newestSelfTest) &&
      ParseOptionalZero(reader.lookup("short_test_handled"), &state.shortTestHandled) &&
      ParseOptionalZero(reader.lookup("extended_test_handled"), &state.extendedTestHandled);
  // A state must name its disk: without model and serial its key could not be formed again.
  if (!ok || state.model.empty() || state.serial.empty() || state.absentPasses < 0)
    return std::nullopt;
  state.alerted = alerted != 0;
  state.goneMailed = gone != 0;
  state.watched = watched != 0;
  if (passed)
    r.smartStatusPassed = *passed != 0;
  return state;
}

bool LoadDiskWatchStates(const std::string& folder, std::vector<DiskWatchState>* states,
                         std::vector<std::string>* problems, DamagedState damaged) {
  states->clear();
  std::error_code error;
  if (!std::filesystem::exists(folder, error))
    return true;
  std::filesystem::directory_iterator it(folder, error);
  if (error) {
    problems->push_back("the disk state folder " + folder + " cannot be read: " + error.message());
    return false;
  }
  std::vector<std::string> paths;
  for (const auto& entry : it) {
    if (IsStateFile(entry))
      paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  for (const std::string& path : paths) {
    std::string text, why;
    if (!ReadWholeFile(path, kMaxTextFileBytes, &text, &why)) {
      problems->push_back("the disk state " + path + " cannot be read: " + why);
      continue;
    }
    std::optional<DiskWatchState> state = ParseDiskWatchState(text);
    if (state) {
      states->push_back(std::move(*state));
      continue;
    }
    if (damaged == DamagedState::kLeave) {
      problems->push_back("the disk state " + path + " is damaged");
      continue;
    }
    // Kept aside, not deleted: it may be all that tells why a disk mailed (or did not).
    const std::string kept = path + ".unreadable-" + LocalTimeStamp();
    if (std::rename(path.c_str(), kept.c_str()) == 0)
      problems->push_back("the disk state " + path + " is damaged; it is kept as " + kept +
                          " and the disk starts afresh");
    else
      problems->push_back("the disk state " + path + " is damaged and cannot be kept aside (" +
                          std::strerror(errno) + "); it is skipped");
  }
  return true;
}

bool SaveDiskWatchState(const std::string& folder, const DiskWatchState& state,
                        std::string* message) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const std::string path =
      folder + DiskStateKey(state.model, state.serial) + std::string(kStateSuffix);
  return ReplaceFileAtomically(path, DiskWatchStateText(state), FileAccess::kOwnerOnly, message);
}

bool ClearDiskWatchAlerts(const std::string& folder, std::string* message) {
  std::vector<DiskWatchState> states;
  std::vector<std::string> problems;
  if (!LoadDiskWatchStates(folder, &states, &problems)) {
    SetMessage(message, problems.front());
    return false;
  }
  for (DiskWatchState& state : states) {
    state.alerted = false;
    state.goneMailed = false;
    state.lastReArm = 0;
    state.settingsStamp.clear();
    if (!SaveDiskWatchState(folder, state, message))
      return false;
  }
  return true;
}

std::vector<std::string> DropStaleDiskWatchStates(const std::string& folder, std::int64_t now) {
  std::vector<DiskWatchState> states;
  std::vector<std::string> problems;
  std::vector<std::string> dropped;
  if (!LoadDiskWatchStates(folder, &states, &problems))
    return dropped;
  for (const DiskWatchState& state : states) {
    if (now - state.lastSeen < kDiskStateKeepDays * 86400)
      continue;
    const std::string key = DiskStateKey(state.model, state.serial);
    std::error_code error;
    if (std::filesystem::remove(folder + key + std::string(kStateSuffix), error))
      dropped.push_back(key);
  }
  return dropped;
}

}  // namespace ds
