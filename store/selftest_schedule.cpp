#include "store/selftest_schedule.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <vector>

#include "text/text_helpers.h"

namespace ds {

namespace {

namespace chrono = std::chrono;

constexpr std::array<std::string_view, 7> kDayNames = {"sunday",   "monday", "tuesday", "wednesday",
                                                       "thursday", "friday", "saturday"};

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (c == ' ' || c == '\t') {
      if (!word.empty())
        words.push_back(std::move(word));
      word.clear();
    } else {
      word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
  }
  if (!word.empty())
    words.push_back(std::move(word));
  return words;
}

bool Number(const std::string& text, int low, int high, int* value) {
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, *value);
  return error == std::errc() && at == end && *value >= low && *value <= high;
}

chrono::year_month_day LocalDate(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return chrono::year{local.tm_year + 1900} / (local.tm_mon + 1) / local.tm_mday;
}

std::tm Fields(const chrono::year_month_day& date, int hour, int isDst) {
  std::tm fields{};
  fields.tm_year = static_cast<int>(date.year()) - 1900;
  fields.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
  fields.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
  fields.tm_hour = hour;
  fields.tm_isdst = isDst;
  return fields;
}

// The first instant at which the local clock shows `hour`:00 on `date`; where the clocks
// skipped that hour, the instant they jumped.
std::time_t StartOfHour(const chrono::year_month_day& date, int hour) {
  std::time_t first = -1;
  for (int isDst : {0, 1}) {
    std::tm fields = Fields(date, hour, isDst);
    const std::tm wanted = fields;
    const std::time_t t = std::mktime(&fields);
    std::tm back{};
    if (t == -1 || localtime_r(&t, &back) == nullptr)
      continue;
    if (back.tm_year == wanted.tm_year && back.tm_mon == wanted.tm_mon &&
        back.tm_mday == wanted.tm_mday && back.tm_hour == hour && back.tm_min == 0 &&
        (first == -1 || t < first)) {
      first = t;
    }
  }
  if (first != -1)
    return first;
  // Skipped: the hour's start in the offset in force before the jump.
  std::tm fields = Fields(date, hour, -1);
  const std::time_t before = std::mktime(&fields) - 6 * 3600;
  std::tm earlier{};
  localtime_r(&before, &earlier);
  std::tm utc = Fields(date, hour, 0);
  return timegm(&utc) - earlier.tm_gmtoff;
}

}  // namespace

std::optional<SelfTestRule> ParseSelfTestRule(std::string_view text, std::string* message) {
  const std::vector<std::string> words = Words(text);
  if (words.empty() || (words.size() == 1 && words[0] == "off"))
    return std::nullopt;
  SelfTestRule rule;
  bool good = words.size() == 3 && Number(words[2], 0, 23, &rule.hour);
  if (good && words[0] == "weekly") {
    // "sun" or "sunday"
    const auto day = std::find_if(kDayNames.begin(), kDayNames.end(), [&](std::string_view name) {
      return words[1] == name || words[1] == name.substr(0, 3);
    });
    good = day != kDayNames.end();
    rule.day = static_cast<int>(day - kDayNames.begin());
  } else if (good && words[0] == "monthly") {
    rule.period = SelfTestRule::Period::kMonthly;
    good = Number(words[1], 1, 31, &rule.day);
  } else {
    good = false;
  }
  if (!good) {
    *message = "\"" + std::string(text) +
               "\" is no schedule: use \"weekly DAY HH\" (DAY Sun..Sat), \"monthly D HH\" (D "
               "1-31) or \"off\"";
    return std::nullopt;
  }
  return rule;
}

std::time_t LatestDueTime(const SelfTestRule& rule, std::time_t now) {
  const chrono::year_month_day today = LocalDate(now);
  std::time_t due = 0;
  if (rule.period == SelfTestRule::Period::kWeekly) {
    for (int back = 0; back <= 14; ++back) {
      const chrono::sys_days day = chrono::sys_days(today) - chrono::days(back);
      if (chrono::weekday(day).c_encoding() != static_cast<unsigned>(rule.day))
        continue;
      due = StartOfHour(chrono::year_month_day(day), rule.hour);
      if (due <= now)
        break;
    }
    return due;
  }
  for (int back = 0; back <= 2; ++back) {
    const chrono::year_month month = today.year() / today.month() - chrono::months(back);
    const chrono::day last =
        chrono::year_month_day_last(month.year(), chrono::month_day_last(month.month())).day();
    const chrono::day day = std::min(chrono::day(static_cast<unsigned>(rule.day)), last);
    due = StartOfHour(month / day, rule.hour);
    if (due <= now)
      break;
  }
  return due;
}

bool SelfTestDue(const SelfTestRule& rule, std::time_t now, std::time_t programStart,
                 std::time_t handledUntil, std::time_t* dueTime) {
  const std::time_t due = LatestDueTime(rule, now);
  if (due <= handledUntil || due > now)
    return false;
  // Missed while the program did not run: caught up once the start has settled.
  if (due < programStart && now < programStart + kCatchUpDelaySeconds)
    return false;
  *dueTime = due;
  return true;
}

SelfTestSchedule ScheduleFromConfig(const SystemConfig& config, std::string* why) {
  SelfTestSchedule schedule;
  std::string shortProblem, longProblem;
  schedule.shortTest = ParseSelfTestRule(config.selfTestShort, &shortProblem);
  schedule.extendedTest = ParseSelfTestRule(config.selfTestLong, &longProblem);
  std::string problems = shortProblem.empty() ? "" : "SelfTest_Short: " + shortProblem;
  if (!longProblem.empty())
    problems += (problems.empty() ? "" : "; ") + ("SelfTest_Long: " + longProblem);
  if (!problems.empty())
    SetMessage(why, problems);
  return schedule;
}

}  // namespace ds
