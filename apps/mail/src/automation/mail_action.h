#pragma once
// MailAction: the changes to local mail data that both the window and automation clients make,
// their JSON form for the "mail.action" operation type, and how each one changes the document.
#include <cstdint>
#include <expected>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "compose/draft.h"
#include "vexa/actions/registry.h"
#include "vexa/ui/persist.h"

namespace mail::automation {

inline constexpr std::string_view kMailActionType = "mail.action";
inline constexpr std::string_view kPurgeRefused =
    "every message must still be present in Trash before permanent deletion";

struct SetRead {
  std::vector<std::string> ids;
  bool read = false;
  friend bool operator==(const SetRead&, const SetRead&) = default;
};
struct SetStarred {
  std::vector<std::string> ids;
  bool starred = false;
  friend bool operator==(const SetStarred&, const SetStarred&) = default;
};
struct Move {
  std::vector<std::string> ids;
  std::string folder;  // folder key
  friend bool operator==(const Move&, const Move&) = default;
};
struct Purge {
  std::vector<std::string> ids;
  friend bool operator==(const Purge&, const Purge&) = default;
};
struct AddLabel {
  std::vector<std::string> ids;
  std::string label;
  friend bool operator==(const AddLabel&, const AddLabel&) = default;
};
struct RemoveLabel {
  std::vector<std::string> ids;
  std::string label;
  friend bool operator==(const RemoveLabel&, const RemoveLabel&) = default;
};
struct CreateFolder {
  std::string id;
  std::string name;
  friend bool operator==(const CreateFolder&, const CreateFolder&) = default;
};
struct RenameFolder {
  std::string id;
  std::string name;
  friend bool operator==(const RenameFolder&, const RenameFolder&) = default;
};
struct DeleteFolder {
  std::string id;
  friend bool operator==(const DeleteFolder&, const DeleteFolder&) = default;
};
struct SaveDraft {
  DraftData draft;
  friend bool operator==(const SaveDraft&, const SaveDraft&) = default;
};
struct DiscardDraft {
  friend bool operator==(const DiscardDraft&, const DiscardDraft&) = default;
};

using MailAction = std::variant<SetRead, SetStarred, Move, Purge, AddLabel, RemoveLabel,
                                CreateFolder, RenameFolder, DeleteFolder, SaveDraft, DiscardDraft>;

// 0 (SetRead) to 10 (DiscardDraft), in declaration order.
inline std::uint8_t kind(const MailAction& action) {
  return static_cast<std::uint8_t>(action.index());
}

// A field-less variant is its name as a string; the others are {"Name": fields}, and SaveDraft
// is {"SaveDraft": <draft>}.
nlohmann::json to_json(const MailAction& action);
std::expected<MailAction, std::string> mail_action_from_json(const nlohmann::json& value);

vexa::actions::EncodedAction encode(const MailAction& action);

// Message ids as an action uses them: trimmed; empty ids, ids over 128 characters and repeats
// dropped; at most the first 256 that remain.
std::vector<std::string> normalize_ids(const std::vector<std::string>& ids);
// Trimmed, without control characters (multi-line text keeps tab, LF and CR), at most
// `max_chars` characters.
std::string sanitize_text(std::string_view text, std::size_t max_chars, bool multi_line);

// Applies the action to the document. Only a refused Purge fails; every other action succeeds,
// also when it changed nothing.
std::expected<void, std::string> apply_mail_action(vexa::persist::Document& doc,
                                                   const MailAction& action);

// Registers the "mail.action" family: decodes the value and applies it to the document.
void register_mail_action_family(vexa::actions::Registry& registry);

}  // namespace mail::automation
