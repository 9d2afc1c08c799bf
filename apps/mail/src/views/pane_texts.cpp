#include "views/pane_texts.h"

#include <fmt/core.h>

#include <algorithm>
#include <array>
#include <cctype>

#include "mailbox/ascii_text.h"

namespace mail::views {
namespace {

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

}  // namespace

std::string_view plural_s(std::size_t count) { return count == 1 ? "" : "s"; }

std::string attachment_heading(std::size_t count) {
  return fmt::format("{} attachment{}", count, plural_s(count));
}

std::string conversation_count_line(std::size_t count, std::string_view folder_name) {
  return fmt::format("{} message{} · {}", count, plural_s(count), folder_name);
}

std::string selected_title(std::size_t count) {
  return fmt::format("{} message{} selected", count, plural_s(count));
}

std::string snippet(std::string_view body) {
  while (!body.empty()) {
    const std::size_t end = body.find('\n');
    const std::string_view line = body.substr(0, end);
    std::string out;
    bool pending_space = false;
    for (const char c : line) {
      if (is_space(c)) {
        pending_space = !out.empty();
        continue;
      }
      if (pending_space) out.push_back(' ');
      pending_space = false;
      out.push_back(c);
    }
    if (!out.empty()) return out;
    if (end == std::string_view::npos) break;
    body.remove_prefix(end + 1);
  }
  return {};
}

std::string_view bulk_label(BulkAction action) {
  switch (action) {
    case BulkAction::Archive:
      return "Archive";
    case BulkAction::MoveToTrash:
      return "Move to Trash";
    case BulkAction::DeletePermanently:
      return "Delete permanently";
    case BulkAction::MarkRead:
      return "Mark read";
    case BulkAction::MarkUnread:
      return "Mark unread";
  }
  return "";
}

std::string_view bulk_tooltip(BulkAction action) {
  switch (action) {
    case BulkAction::Archive:
      return "Archive selected messages (E)";
    case BulkAction::MoveToTrash:
      return "Move selected messages to Trash (Delete)";
    case BulkAction::DeletePermanently:
      return "Delete selected trashed messages permanently (Shift+Delete)";
    case BulkAction::MarkRead:
      return "Mark selected messages read";
    case BulkAction::MarkUnread:
      return "Mark selected messages unread";
  }
  return "";
}

std::string bulk_count_text(BulkAction action, std::size_t count) {
  const std::string_view s = plural_s(count);
  switch (action) {
    case BulkAction::Archive:
      return fmt::format("Archived {} message{}", count, s);
    case BulkAction::MoveToTrash:
      return fmt::format("Moved {} message{} to Trash", count, s);
    case BulkAction::DeletePermanently:
      return fmt::format("Permanently deleted {} trashed message{}", count, s);
    case BulkAction::MarkRead:
      return fmt::format("Marked {} message{} read", count, s);
    case BulkAction::MarkUnread:
      return fmt::format("Marked {} message{} unread", count, s);
  }
  return {};
}

EmptyListText empty_list_text(bool any_message_loaded, bool any_account, bool query_empty) {
  if (!any_message_loaded && !any_account) {
    return {"Connect your email",
            "Use Add account in the sidebar to start sending and receiving messages."};
  }
  if (!any_message_loaded) {
    return {"Your inbox is ready", "New messages will appear here after the next sync."};
  }
  if (query_empty) {
    return {"No messages in this folder", "Messages moved here will appear in this list."};
  }
  return {"No matching messages", "Try another sender, subject, or keyword."};
}

int status_tone(std::string_view status) {
  const std::string lower = ascii_lower(status);
  const auto has = [&](std::string_view word) { return lower.find(word) != std::string::npos; };
  if (has("failed") || has("couldn\u2019t") || has("couldn't") || has("error")) return 3;
  if (has("isn't available")) return 2;
  if (has("sync") || has("connecting") || has("opening")) return 0;
  return 1;
}

}  // namespace mail::views
