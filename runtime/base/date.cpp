// The era-based conversions: a 400-year era has exactly 146097 days, and counting years from
// March puts the leap day last, so no month table is needed.
#include "vexa/ui/date.h"

namespace vexa::ui::date {

CivilDate civil_from_days(std::int64_t days) {
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;                                       // [0, 146096]
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);                // [0, 365]
  const std::int64_t mp = (5 * doy + 2) / 153;                                     // [0, 11]
  const auto day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  const auto month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  return CivilDate{yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

std::int64_t days_from_civil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yoe = year - era * 400;
  const std::int64_t mp = month > 2 ? month - 3 : month + 9;
  const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

unsigned weekday(std::int64_t days) {
  // 1970-01-01 was a Thursday.
  const std::int64_t w = (days + 4) % 7;
  return static_cast<unsigned>(w < 0 ? w + 7 : w);
}

}  // namespace vexa::ui::date
