#pragma once
// Proleptic Gregorian calendar arithmetic on days counted from 1970-01-01.
#include <cstdint>

namespace vexa::ui::date {

struct CivilDate {
  std::int64_t year = 1970;
  unsigned month = 1;  // 1..12
  unsigned day = 1;    // 1..31
  friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

CivilDate civil_from_days(std::int64_t days);
std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day);
// 0 = Sunday .. 6 = Saturday.
unsigned weekday(std::int64_t days);

}  // namespace vexa::ui::date
