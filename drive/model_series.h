#pragma once

#include <string_view>

namespace ds {

// Series codes of the maker's disks, from the model text.
inline constexpr int kSeriesX50 = 0;  // "X50"/"X55" (and any disk with the SM controller signature)
inline constexpr int kSeriesX52 = 1;  // "X52"
inline constexpr int kSeriesX57 = 2;  // "X57" (CFast)
inline constexpr int kSeriesOther = 99;

// Series code by substring, first match wins: "X52" → 1, "X57" → 2, "X50" or "X55" → 0,
// anything else 99.
int DetectModelSeries(std::string_view model);

// The maker's disk test: the model starts with "QRA", "QRB" or "QRC" (case-sensitive), or
// internal mode is on.
bool IsMakersDisk(std::string_view model, int internalMode);

}  // namespace ds
