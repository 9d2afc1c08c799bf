// The document side of a MailAction: ids and texts are normalised first, since automation
// clients hand in arbitrary values, and only messages still present may change.
#include <algorithm>
#include <unordered_set>

#include "automation/mail_action.h"
#include "compose/attachments.h"
#include "compose/invitation_check.h"
#include "compose/utf8_text.h"
#include "store/mail_document.h"

namespace mail::automation {
namespace {

using vexa::persist::Document;

constexpr std::size_t kMaxIdChars = 128;
constexpr std::size_t kMaxIds = 256;
constexpr std::size_t kMaxLabelChars = 128;
constexpr std::size_t kMaxFolderNameChars = 96;
constexpr std::size_t kMaxRecipientChars = 8192;
constexpr std::size_t kMaxSubjectChars = 998;
constexpr std::size_t kMaxBodyChars = 262144;

template <typename Change>
void for_present(Document& doc, const std::vector<std::string>& ids, Change change) {
  for (const std::string& id : normalize_ids(ids)) {
    if (store::is_present(doc, id)) change(id);
  }
}

std::expected<void, std::string> purge(Document& doc, const Purge& action) {
  const std::vector<std::string> ids = normalize_ids(action.ids);
  const bool all_in_trash = std::all_of(ids.begin(), ids.end(), [&doc](const std::string& id) {
    return store::is_present(doc, id) && store::folder(doc, id) == FolderRole::Trash;
  });
  if (ids.empty() || !all_in_trash) return std::unexpected(std::string(kPurgeRefused));
  for (const std::string& id : ids) store::mark_purged(doc, id);
  return {};
}

void save_draft(Document& doc, DraftData draft) {
  draft.to = sanitize_text(draft.to, kMaxRecipientChars, false);
  draft.cc = sanitize_text(draft.cc, kMaxRecipientChars, false);
  draft.bcc = sanitize_text(draft.bcc, kMaxRecipientChars, false);
  draft.subject = sanitize_text(draft.subject, kMaxSubjectChars, false);
  draft.body = sanitize_text(draft.body, kMaxBodyChars, true);
  if (draft.html_body) draft.html_body = sanitize_text(*draft.html_body, kMaxBodyChars, true);
  if (draft.calendar_ics && !compose::invitation_accepted(*draft.calendar_ics)) {
    draft.calendar_ics.reset();
  }
  draft.attachments = compose::normalize_attachments(std::move(draft.attachments));
  store::save_draft(doc, draft);
}

}  // namespace

std::vector<std::string> normalize_ids(const std::vector<std::string>& ids) {
  std::vector<std::string> out;
  std::unordered_set<std::string> seen;
  for (const std::string& raw : ids) {
    if (out.size() == kMaxIds) break;
    const std::string_view id = compose::trim(raw);
    if (id.empty() || compose::count_chars(id) > kMaxIdChars) continue;
    if (!seen.emplace(id).second) continue;
    out.emplace_back(id);
  }
  return out;
}

std::string sanitize_text(std::string_view text, std::size_t max_chars, bool multi_line) {
  // Controls go first, so one cannot shield the white space around it from trimming; the cut
  // may expose trailing white space again.
  const std::string cleaned = compose::remove_controls(text, multi_line);
  return std::string(compose::trim(compose::first_chars(compose::trim(cleaned), max_chars)));
}

std::expected<void, std::string> apply_mail_action(Document& doc, const MailAction& action) {
  return std::visit(
      [&doc](const auto& a) -> std::expected<void, std::string> {
        using T = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<T, SetRead>) {
          for_present(doc, a.ids, [&](const std::string& id) { store::set_read(doc, id, a.read); });
        } else if constexpr (std::is_same_v<T, SetStarred>) {
          for_present(doc, a.ids,
                      [&](const std::string& id) { store::set_starred(doc, id, a.starred); });
        } else if constexpr (std::is_same_v<T, Move>) {
          if (const auto role = parse_folder_key(a.folder)) {
            for_present(doc, a.ids,
                        [&](const std::string& id) { store::set_folder(doc, id, *role); });
          }
        } else if constexpr (std::is_same_v<T, Purge>) {
          return purge(doc, a);
        } else if constexpr (std::is_same_v<T, AddLabel>) {
          const std::string label = sanitize_text(a.label, kMaxLabelChars, false);
          for_present(doc, a.ids, [&](const std::string& id) { store::add_label(doc, id, label); });
        } else if constexpr (std::is_same_v<T, RemoveLabel>) {
          const std::string label = sanitize_text(a.label, kMaxLabelChars, false);
          for_present(doc, a.ids,
                      [&](const std::string& id) { store::remove_label(doc, id, label); });
        } else if constexpr (std::is_same_v<T, CreateFolder> || std::is_same_v<T, RenameFolder>) {
          const std::string name = sanitize_text(a.name, kMaxFolderNameChars, false);
          if (compose::count_chars(a.id) <= kMaxIdChars && !name.empty()) {
            if constexpr (std::is_same_v<T, CreateFolder>) {
              store::create_folder(doc, a.id, name);
            } else {
              store::rename_folder(doc, a.id, name);
            }
          }
        } else if constexpr (std::is_same_v<T, DeleteFolder>) {
          if (compose::count_chars(a.id) <= kMaxIdChars) store::delete_folder(doc, a.id);
        } else if constexpr (std::is_same_v<T, SaveDraft>) {
          save_draft(doc, a.draft);
        } else if constexpr (std::is_same_v<T, DiscardDraft>) {
          store::clear_draft(doc);
        }
        return {};
      },
      action);
}

void register_mail_action_family(vexa::actions::Registry& registry) {
  registry.register_family(
      std::string(kMailActionType),
      [](const nlohmann::json& value,
         vexa::persist::Document& doc) -> std::expected<nlohmann::json, std::string> {
        auto action = mail_action_from_json(value);
        if (!action) return std::unexpected(action.error());
        if (auto applied = apply_mail_action(doc, *action); !applied) {
          return std::unexpected(applied.error());
        }
        return nlohmann::json(nullptr);
      });
}

}  // namespace mail::automation
