#include "automation/mail_action.h"

#include <fmt/core.h>

#include <array>

namespace mail::automation {
namespace {

using Json = nlohmann::json;

constexpr std::array<std::string_view, 11> kNames = {
    "SetRead",      "SetStarred",   "Move",         "Purge",     "AddLabel",    "RemoveLabel",
    "CreateFolder", "RenameFolder", "DeleteFolder", "SaveDraft", "DiscardDraft"};

template <typename T>
using Decoded = std::expected<T, std::string>;

std::unexpected<std::string> invalid(std::string_view detail) {
  return std::unexpected(fmt::format("invalid mail action: {}", detail));
}

Decoded<const Json*> field(const Json& fields, std::string_view variant, const char* key) {
  const auto it = fields.find(key);
  if (it == fields.end()) return invalid(fmt::format("{} is missing \"{}\"", variant, key));
  return &*it;
}

Decoded<std::string> text_field(const Json& fields, std::string_view variant, const char* key) {
  auto value = field(fields, variant, key);
  if (!value) return std::unexpected(value.error());
  if (!(*value)->is_string()) {
    return invalid(fmt::format("{} \"{}\" must be a string", variant, key));
  }
  return (*value)->get<std::string>();
}

Decoded<bool> bool_field(const Json& fields, std::string_view variant, const char* key) {
  auto value = field(fields, variant, key);
  if (!value) return std::unexpected(value.error());
  if (!(*value)->is_boolean()) {
    return invalid(fmt::format("{} \"{}\" must be a boolean", variant, key));
  }
  return (*value)->get<bool>();
}

Decoded<std::vector<std::string>> ids_field(const Json& fields, std::string_view variant) {
  auto value = field(fields, variant, "ids");
  if (!value) return std::unexpected(value.error());
  if (!(*value)->is_array()) return invalid(fmt::format("{} \"ids\" must be an array", variant));
  std::vector<std::string> ids;
  for (const Json& id : **value) {
    if (!id.is_string()) return invalid(fmt::format("{} \"ids\" must hold strings", variant));
    ids.push_back(id.get<std::string>());
  }
  return ids;
}

// Runs each field decoder in turn and builds the variant when all succeed.
template <typename T, typename... Fields>
Decoded<MailAction> build(Fields&&... fields) {
  std::string error;
  const auto first_error = [&error](const auto& f) {
    if (!f && error.empty()) error = f.error();
  };
  (first_error(fields), ...);
  if (!error.empty()) return std::unexpected(error);
  return MailAction(T{std::move(*fields)...});
}

Decoded<MailAction> decode_fields(std::string_view name, const Json& f) {
  if (name == "SaveDraft") {
    auto draft = draft_from_json(f);
    if (!draft) return invalid(draft.error());
    return MailAction(SaveDraft{std::move(*draft)});
  }
  if (!f.is_object()) return invalid(fmt::format("{} must hold an object of fields", name));
  if (name == "SetRead") return build<SetRead>(ids_field(f, name), bool_field(f, name, "read"));
  if (name == "SetStarred") {
    return build<SetStarred>(ids_field(f, name), bool_field(f, name, "starred"));
  }
  if (name == "Move") return build<Move>(ids_field(f, name), text_field(f, name, "folder"));
  if (name == "Purge") return build<Purge>(ids_field(f, name));
  if (name == "AddLabel") {
    return build<AddLabel>(ids_field(f, name), text_field(f, name, "label"));
  }
  if (name == "RemoveLabel") {
    return build<RemoveLabel>(ids_field(f, name), text_field(f, name, "label"));
  }
  if (name == "CreateFolder") {
    return build<CreateFolder>(text_field(f, name, "id"), text_field(f, name, "name"));
  }
  if (name == "RenameFolder") {
    return build<RenameFolder>(text_field(f, name, "id"), text_field(f, name, "name"));
  }
  if (name == "DeleteFolder") return build<DeleteFolder>(text_field(f, name, "id"));
  if (name == "DiscardDraft") return invalid("DiscardDraft is written as a plain string");
  return invalid(fmt::format("unknown variant \"{}\"", name));
}

Json ids_json(const std::vector<std::string>& ids) { return Json(ids); }

}  // namespace

Json to_json(const MailAction& action) {
  const std::string name(kNames[action.index()]);
  return std::visit(
      [&name](const auto& a) -> Json {
        using T = std::decay_t<decltype(a)>;
        Json fields = Json::object();
        if constexpr (std::is_same_v<T, DiscardDraft>) {
          return Json(name);
        } else if constexpr (std::is_same_v<T, SaveDraft>) {
          return Json{{name, mail::to_json(a.draft)}};
        } else if constexpr (std::is_same_v<T, SetRead>) {
          fields["ids"] = ids_json(a.ids);
          fields["read"] = a.read;
        } else if constexpr (std::is_same_v<T, SetStarred>) {
          fields["ids"] = ids_json(a.ids);
          fields["starred"] = a.starred;
        } else if constexpr (std::is_same_v<T, Move>) {
          fields["ids"] = ids_json(a.ids);
          fields["folder"] = a.folder;
        } else if constexpr (std::is_same_v<T, Purge>) {
          fields["ids"] = ids_json(a.ids);
        } else if constexpr (std::is_same_v<T, AddLabel> || std::is_same_v<T, RemoveLabel>) {
          fields["ids"] = ids_json(a.ids);
          fields["label"] = a.label;
        } else if constexpr (std::is_same_v<T, CreateFolder> || std::is_same_v<T, RenameFolder>) {
          fields["id"] = a.id;
          fields["name"] = a.name;
        } else if constexpr (std::is_same_v<T, DeleteFolder>) {
          fields["id"] = a.id;
        }
        Json out = Json::object();
        out[name] = std::move(fields);
        return out;
      },
      action);
}

std::expected<MailAction, std::string> mail_action_from_json(const Json& value) {
  if (value.is_string()) {
    if (value.get<std::string>() == "DiscardDraft") return MailAction(DiscardDraft{});
    return invalid(fmt::format("\"{}\" is not a variant without fields", value.get<std::string>()));
  }
  if (!value.is_object() || value.size() != 1) {
    return invalid("expected a variant name or an object with one member");
  }
  return decode_fields(value.begin().key(), value.begin().value());
}

vexa::actions::EncodedAction encode(const MailAction& action) {
  return {std::string(kMailActionType), to_json(action)};
}

}  // namespace mail::automation
