#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pages/template_expander.h"
#include "platform/program_roots.h"

// The Home view: every kept disk at a glance, one row each, from the template in the page
// registry's Home row. A click on a row stores the disk as the page input "disk_sel" (the
// index the drive lists of the other pages store) and presses the Disk Information tab.
namespace ds {

// One disk as the monitor last saw it. Values it could not read are empty and show "---".
struct HomeRow {
  int listIndex = -1;  // its index in the kept-drive list; -1: not clickable
  std::string model;
  std::string serial;
  std::string device;
  std::optional<int> temperatureCelsius;
  std::optional<int> healthPercent;
  std::optional<std::int64_t> lifespanDays;  // remaining lifespan
  std::int64_t lastGoodRead = 0;             // seconds since 1970; 0: never
  std::string alertState;  // "OK", "alert mailed <time>", "silent until <time>", "not watched"
};

struct HomePageInput {
  std::vector<HomeRow> rows;
  bool fahrenheit = false;  // the Tool page's temperature unit
};

inline constexpr const char* kHomePageFile = "HomePage.html";

// The page's fields: the Disk Information button, the disk count and the rows (last, so no
// text of a disk is taken for a placeholder).
PageFields HomePageFields(const HomePageInput& input);

// Deletes the previous page and writes data/HomePage.html into the home folder. Returns the
// page's file name, or nothing (with `message`) when the template is missing or the page
// could not be written.
[[nodiscard]] std::optional<std::string> BuildHomePage(const ProgramRoots& roots,
                                                       const HomePageInput& input,
                                                       std::string* message);

}  // namespace ds
