#pragma once

#include <cstdint>
#include <string>

// A moment as people read it on the pages, in `status` and in the log: local time with its
// zone, "2026-12-07 14:05 CET".
namespace ds {

// `secondsSince1970` in local time as "YYYY-MM-DD HH:MM ZONE"; "---" for 0 (never) or a
// moment the calendar cannot show.
std::string LocalTimeText(std::int64_t secondsSince1970);

}  // namespace ds
