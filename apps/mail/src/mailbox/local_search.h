#pragma once
// The list's in-window search: a plain case-insensitive substring match over loaded mail outside
// Trash, bounded so that a keystroke costs the same whatever the mailbox size.
#include <cstddef>
#include <string_view>
#include <vector>

#include "mailbox/conversations.h"
#include "mailbox/message_store.h"

namespace mail {

inline constexpr std::size_t kSearchExamineLimit = 4096;
inline constexpr std::size_t kSearchResultLimit = 200;

// Trimmed query of nothing but white space: true when the list shows the folder instead.
bool search_query_blank(std::string_view query);

// One entry per matching message (count 1), newest first. The walk starts at the most recently
// added message, so with more matches than the limit the newest arrivals win.
std::vector<VisibleEntry> local_search(const MessageStore& store, std::string_view query);

}  // namespace mail
