#include "views/date_labels.h"

#include <fmt/core.h>

#include <array>

#include "vexa/ui/date.h"

namespace mail::views {
namespace {

constexpr std::int64_t kMinutesPerDay = 1440;
constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<const char*, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// Floor division, so minutes before the epoch fall on the day they belong to.
std::int64_t day_of(std::int64_t minute) {
  std::int64_t d = minute / kMinutesPerDay;
  if (minute % kMinutesPerDay < 0) --d;
  return d;
}

std::int64_t minute_of_day(std::int64_t minute) { return minute - day_of(minute) * kMinutesPerDay; }

}  // namespace

std::string row_date_label(std::int64_t message_minute, std::int64_t now_minute) {
  const std::int64_t day = day_of(message_minute);
  const std::int64_t diff = day_of(now_minute) - day;
  if (diff == 0) {
    const std::int64_t m = minute_of_day(message_minute);
    return fmt::format("{:02}:{:02}", m / 60, m % 60);
  }
  if (diff == 1) return "Yesterday";
  if (diff >= 2 && diff <= 6) return kWeekdays[vexa::ui::date::weekday(day) % 7];
  const auto civil = vexa::ui::date::civil_from_days(day);
  return fmt::format("{} {}", kMonths[(civil.month - 1) % 12], civil.day);
}

std::string full_date(std::int64_t minute) {
  const auto civil = vexa::ui::date::civil_from_days(day_of(minute));
  const std::int64_t m = minute_of_day(minute);
  return fmt::format("{} {}, {}, {:02}:{:02}", kMonths[(civil.month - 1) % 12], civil.day,
                     civil.year, m / 60, m % 60);
}

}  // namespace mail::views
