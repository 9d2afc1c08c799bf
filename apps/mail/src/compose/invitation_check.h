#pragma once
// The bounded-invitation rule every stored or handed-over calendar text must pass: one
// VCALENDAR with METHOD:REQUEST holding at least one VEVENT, all events sharing one UID, at most
// 256 KiB of well-formed CRLF content lines.
#include <cstddef>
#include <string_view>

namespace mail::compose {

inline constexpr std::size_t kMaxInvitationBytes = 262144;

bool invitation_accepted(std::string_view ics);

}  // namespace mail::compose
