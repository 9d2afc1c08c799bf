#pragma once
// The words the panes show that depend on data: counts, snippets, empty states, tooltips of the
// bulk buttons and the tone of the status toast.
#include <cstddef>
#include <string>
#include <string_view>

#include "mailbox/types.h"
#include "views/pane_host.h"

namespace mail::views {

// "s" unless the count is 1.
std::string_view plural_s(std::size_t count);

// "2 attachments".
std::string attachment_heading(std::size_t count);
// "1 message · Inbox".
std::string conversation_count_line(std::size_t count, std::string_view folder_name);
// "3 messages selected".
std::string selected_title(std::size_t count);

// First non-blank line of the body, trimmed, inner white-space runs collapsed to one space.
std::string snippet(std::string_view body);

std::string_view bulk_label(BulkAction action);
std::string_view bulk_tooltip(BulkAction action);
// The status after a bulk action changed `count` messages ("Archived 3 messages").
std::string bulk_count_text(BulkAction action, std::size_t count);

struct EmptyListText {
  std::string_view title;
  std::string_view body;
};
EmptyListText empty_list_text(bool any_message_loaded, bool any_account, bool query_empty);

// 0 progress, 1 info, 2 warning, 3 error, from words in the status text.
int status_tone(std::string_view status);

}  // namespace mail::views
