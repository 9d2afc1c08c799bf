#pragma once
// Controls that assistive tools and automation activate by identifier ("mail.reader:<id>:star").
// Identifiers name what the accessibility tree publishes; anything else, or an action a control
// does not take, is declined.
#include <cstddef>
#include <string_view>

#include "core/commands.h"
#include "overlays/context_menu.h"

namespace mail::core {

// The root's parts that identifiers reach beyond the mail commands.
class SemanticHost {
 public:
  virtual ~SemanticHost() = default;
  virtual Commands& commands() = 0;
  virtual MailState& mail_state() = 0;
  virtual ContextMenu& context_menu() = 0;
  // Closes the menu and runs the entry's action (or reports the message gone).
  virtual void activate_context_entry(std::size_t index, vexa::persist::Document& doc) = 0;
  virtual bool purge_confirmation_open() const = 0;
  virtual void confirm_purge(vexa::persist::Document& doc) = 0;
  virtual void cancel_purge() = 0;
};

// True when the control exists and took the action; the caller then runs the dispatcher.
bool perform_semantic_action(SemanticHost& host, std::string_view id, std::string_view action,
                             vexa::persist::Document& doc);

}  // namespace mail::core
