#include "store/alert_fields.h"

#include <cstddef>
#include <iterator>

namespace ds {
namespace {

using K = AlertFieldKind;
using S = AlertSettings;

std::optional<AlertRange> Temperature(const S& s) {
  if (s.TemperatureType == 0)
    return AlertRange{-55, 125};  // °C
  return AlertRange{-67, 257};    // °F
}
std::optional<AlertRange> Capacity(const S&) {
  return AlertRange{0, 1000000};  // GB
}
std::optional<AlertRange> Percent(const S&) {
  return AlertRange{0, 100};
}
std::optional<AlertRange> Years(const S&) {
  return AlertRange{0, 100};
}
std::optional<AlertRange> Days(const S&) {
  return AlertRange{0, 365};
}
// Days, months or years by RefreshByType; an unknown unit has no limit.
std::optional<AlertRange> RefreshPeriod(const S& s) {
  switch (s.RefreshByType) {
    case 0:
      return AlertRange{1, 3650};
    case 1:
      return AlertRange{1, 120};
    case 2:
      return AlertRange{1, 10};
    default:
      return std::nullopt;
  }
}

// clang-format off
constexpr AlertField kFields[] = {
    // key, kind, whole, text, page input, placeholder, label, range, stored at click, escaped key
    {"EnableAlert", K::kSwitch, &S::EnableAlert, nullptr, nullptr, "STR_ENABLE_ALERT_STATUS", "Enable Alert", nullptr, true, nullptr},
    {"TemperatureType", K::kChoice, &S::TemperatureType, nullptr, nullptr, nullptr, "Temperature", nullptr, true, nullptr},
    {"EnableSSL", K::kSwitch, &S::EnableSSL, nullptr, nullptr, "STR_ENABLE_SSL_STATUS", "SSL", nullptr, false, nullptr},
    {"Above", K::kNumber, nullptr, &S::Above, "above", "STR_ABOVE", "Above", Temperature, false, nullptr},
    {"Under", K::kNumber, nullptr, &S::Under, "under", "STR_UNDER", "Under", Temperature, false, nullptr},
    {"Capacity", K::kNumber, nullptr, &S::Capacity, "capacity", "STR_CAPACITY", "Capacity", Capacity, false, nullptr},
    {"HealthStatus", K::kNumber, nullptr, &S::HealthStatus, "health_status", "STR_HEALTH_STATUS", "Health Status", Percent, false, nullptr},
    {"LifespanYears", K::kNumber, nullptr, &S::LifespanYears, "lifespan_years", "STR_LIFESPAN_YEARS", "Lifespan Years", Years, false, nullptr},
    {"LifespanDays", K::kNumber, nullptr, &S::LifespanDays, "lifespan_days", "STR_LIFESPAN_DAYS", "Lifespan Days", Days, false, nullptr},
    {"RefreshBy", K::kNumber, nullptr, &S::RefreshBy, "refresh_by", "STR_REFRESH_BY", "Refresh By", RefreshPeriod, false, nullptr},
    {"From", K::kText, nullptr, &S::From, "from", "STR_FROM", "From", nullptr, false, nullptr},
    {"To", K::kText, nullptr, &S::To, "to", "STR_TO", "To", nullptr, false, nullptr},
    {"Host", K::kText, nullptr, &S::Host, "host", "STR_HOST", "Host", nullptr, false, nullptr},
    {"Port", K::kText, nullptr, &S::Port, "port", "STR_PORT", "Port", nullptr, false, nullptr},
    {"Id", K::kText, nullptr, &S::Id, "id", "STR_ID", "ID", nullptr, false, nullptr},
    {"Passwd", K::kText, nullptr, &S::Passwd, "passwd", "STR_PASSWD", "Password", nullptr, false, kEscapedPasswordKey},
    {"RefreshByType", K::kChoice, &S::RefreshByType, nullptr, "refresh_by_type", nullptr, "Refresh By unit", nullptr, false, nullptr},
};
// clang-format on

// The rows hold together: one member by kind, a range for numbers only, and the columns that
// the walkers read through `whole` only on whole-number rows.
constexpr bool RowsHoldTogether() {
  for (const AlertField& f : kFields) {
    const bool whole = f.kind == K::kSwitch || f.kind == K::kChoice;
    if ((f.whole != nullptr) != whole || (f.text != nullptr) == whole ||
        (f.range != nullptr) != (f.kind == K::kNumber) ||
        (f.placeholder == nullptr) != (f.kind == K::kChoice) ||
        (!whole && (f.pageInput == nullptr || f.storedAtClick)) ||
        (whole && f.escapedKey != nullptr))
      return false;
  }
  return true;
}
static_assert(RowsHoldTogether(), "an alert field row mixes up its kind's columns");

// Converts to any member type: counts the members an aggregate can be initialised with.
struct AnyMember {
  template <typename T>
  operator T() const;
};
template <typename T, typename... Members>
constexpr std::size_t MemberCount() {
  if constexpr (requires { T{Members{}..., AnyMember{}}; })
    return MemberCount<T, Members..., AnyMember>();
  else
    return sizeof...(Members);
}
static_assert(MemberCount<AlertSettings>() == std::size(kFields),
              "every member of AlertSettings needs its row in the alert field table");

}  // namespace

std::span<const AlertField> AlertFields() {
  return kFields;
}

const AlertField* AlertTextFieldByInput(std::string_view pageInput) {
  for (const AlertField& field : kFields) {
    if (field.text != nullptr && field.pageInput != nullptr && pageInput == field.pageInput)
      return &field;
  }
  return nullptr;
}

}  // namespace ds
