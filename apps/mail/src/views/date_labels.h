#pragma once
// Dates as the panes show them, from minutes since the Unix epoch.
#include <cstdint>
#include <string>

namespace mail::views {

// "07:04" today, "Yesterday", a weekday for two to six days back, otherwise "Jun 23"; a
// message dated in the future shows its month and day.
std::string row_date_label(std::int64_t message_minute, std::int64_t now_minute);

// "Jun 30, 2026, 08:30".
std::string full_date(std::int64_t minute);

}  // namespace mail::views
