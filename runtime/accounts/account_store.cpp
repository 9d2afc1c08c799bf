#include <fmt/format.h>

#include <algorithm>
#include <set>

#include "files.h"
#include "vexa/accounts/accounts.h"
#include "vexa/atomic_write.h"

namespace vexa::accounts {
namespace {

constexpr const char* kFileName = "accounts.json";

using Json = nlohmann::json;

// A flag the application passes back unchanged: absent reads as false, anything but a boolean
// is a damaged record.
std::expected<bool, std::string> read_flag(const Json& record, const char* name) {
  auto it = record.find(name);
  if (it == record.end()) return false;
  if (!it->is_boolean()) return std::unexpected(fmt::format("\"{}\" is not true or false", name));
  return it->get<bool>();
}

std::expected<AccountRecord, std::string> read_record(const Json& j) {
  if (!j.is_object()) return std::unexpected("it is not an object");
  AccountRecord record;
  auto id = j.find("id");
  if (id == j.end() || !id->is_string() || id->get<std::string>().empty()) {
    return std::unexpected("\"id\" is missing or empty");
  }
  record.id.value = id->get<std::string>();
  auto type = j.find("type");
  if (type == j.end() || !type->is_string()) return std::unexpected("\"type\" is missing");
  record.type.value = type->get<std::string>();
  if (auto label = j.find("label"); label != j.end()) {
    if (!label->is_string()) return std::unexpected("\"label\" is not text");
    record.label = label->get<std::string>();
  }
  if (auto settings = j.find("settings"); settings != j.end()) {
    if (!settings->is_object()) return std::unexpected("\"settings\" is not an object");
    record.settings = *settings;
  }
  auto enabled = read_flag(j, "enabled");
  if (!enabled) return std::unexpected(enabled.error());
  record.enabled = *enabled;
  auto avatar_seed = read_flag(j, "avatar_seed");
  if (!avatar_seed) return std::unexpected(avatar_seed.error());
  record.avatar_seed = *avatar_seed;
  return record;
}

}  // namespace

std::expected<AccountStore, std::string> AccountStore::load() {
  auto root = config_root();
  if (!root) return AccountStore{};
  return load_in(*root);
}

std::expected<AccountStore, std::string> AccountStore::load_in(const std::filesystem::path& dir) {
  const auto path = dir / kFileName;
  auto bytes = detail::read_file(path);
  if (!bytes) return std::unexpected(bytes.error());
  AccountStore store;
  if (!*bytes) return store;
  const std::string& text = **bytes;
  auto bad = [&](std::string_view why) {
    return std::unexpected(fmt::format("could not read {}: {}", path.string(), why));
  };
  const Json loose = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (loose.is_discarded()) return bad("it is not valid JSON");
  if (!loose.is_object()) return bad("it is not a JSON object");

  // The file's frame must be sound; each record is judged on its own, so one damaged account
  // does not hide the others.
  const auto spans = detail::account_spans(text);
  std::string frame;
  std::size_t copied = 0;
  for (const auto& [at, length] : spans) {
    frame.append(text, copied, at - copied);
    frame += "null";
    copied = at + length;
  }
  frame.append(text, copied, std::string::npos);
  auto parsed = detail::parse_strict(frame);
  if (!parsed) return bad(parsed.error());
  const Json& root = *parsed;
  if (auto accounts = root.find("accounts"); accounts != root.end()) {
    if (!accounts->is_array()) return bad("\"accounts\" is not a list");
    if (accounts->size() != spans.size()) return bad("the account list could not be read");
  }
  if (auto active = root.find("active"); active != root.end()) {
    if (!active->is_object()) return bad("\"active\" is not an object");
    for (const auto& [type, id] : active->items()) {
      if (!id.is_string())
        return bad(fmt::format("the active account of \"{}\" is not text", type));
      store.active_[type] = id.get<std::string>();
    }
  }

  std::set<std::string> ids;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    const std::string raw = text.substr(spans[i].first, spans[i].second);
    auto strict = detail::parse_strict(raw);
    std::expected<AccountRecord, std::string> record =
        strict ? read_record(*strict) : std::unexpected(strict.error());
    // Two records for one id would make upsert and remove ambiguous: the later one waits.
    if (record && !ids.insert(record->id.value).second) {
      record =
          std::unexpected(fmt::format("the account id \"{}\" appears twice", record->id.value));
    }
    if (record) {
      store.slots_.push_back(Slot{std::move(*record), {}});
      continue;
    }
    std::string name = fmt::format("account {}", i + 1);
    const Json& loose_record = loose["accounts"][i];
    if (loose_record.is_object()) {
      if (auto id = loose_record.find("id"); id != loose_record.end() && id->is_string()) {
        name = id->get<std::string>();
      }
    }
    store.unreadable_.push_back(Unreadable{
        std::move(name),
        fmt::format("could not read {}: account {}: {}", path.string(), i + 1, record.error())});
    store.slots_.push_back(Slot{std::nullopt, raw});
  }
  return store;
}

std::vector<AccountRecord> AccountStore::list(const AccountTypeId& type) const {
  std::vector<AccountRecord> out;
  for (const auto& slot : slots_) {
    if (slot.record && slot.record->type == type) out.push_back(*slot.record);
  }
  return out;
}

std::optional<AccountId> AccountStore::active_id(const AccountTypeId& type) const {
  auto it = active_.find(type.value);
  if (it == active_.end()) return std::nullopt;
  return AccountId{it->second};
}

void AccountStore::upsert(AccountRecord record) {
  auto it = std::find_if(slots_.begin(), slots_.end(), [&](const Slot& slot) {
    return slot.record && slot.record->id == record.id;
  });
  if (it != slots_.end()) {
    it->record = std::move(record);
  } else {
    slots_.push_back(Slot{std::move(record), {}});
  }
}

void AccountStore::remove(const AccountId& id) {
  // Only records that were read can be removed: nobody saw the others to ask for that.
  std::erase_if(slots_, [&](const Slot& slot) { return slot.record && slot.record->id == id; });
  // An active entry naming a removed account would point at nothing after the next start.
  std::erase_if(active_, [&](const auto& entry) { return entry.second == id.value; });
}

void AccountStore::set_active(const AccountTypeId& type, const AccountId& id) {
  active_[type.value] = id.value;
}

std::expected<void, std::string> AccountStore::save_in(const std::filesystem::path& dir) const {
  if (auto made = detail::ensure_dir(dir); !made) return made;
  std::vector<std::string> elements;
  try {
    for (const auto& slot : slots_) {
      if (!slot.record) {
        elements.push_back(slot.raw);  // as the file held it
        continue;
      }
      const AccountRecord& r = *slot.record;
      // What load would refuse must not be written: the next start could not read the store.
      if (r.id.value.empty() || !r.settings.is_object()) {
        return std::unexpected(fmt::format("could not write {}: the account \"{}\" is incomplete",
                                           (dir / kFileName).string(), r.id.value));
      }
      std::string element =
          Json{{"id", r.id.value},       {"type", r.type.value}, {"label", r.label},
               {"settings", r.settings}, {"enabled", r.enabled}, {"avatar_seed", r.avatar_seed}}
              .dump(2);
      // Indented one level deeper, inside the list.
      std::string indented;
      for (const char c : element) {
        indented.push_back(c);
        if (c == '\n') indented += "    ";
      }
      elements.push_back(std::move(indented));
    }
  } catch (const Json::exception&) {
    return std::unexpected(fmt::format(
        "could not write {}: an account holds text that is not UTF-8", (dir / kFileName).string()));
  }
  Json active = Json::object();
  for (const auto& [type, id] : active_) active[type] = id;
  std::string text = "{\n  \"accounts\": [";
  for (std::size_t i = 0; i < elements.size(); ++i) {
    text += i == 0 ? "\n    " : ",\n    ";
    text += elements[i];
  }
  text += elements.empty() ? "],\n" : "\n  ],\n";
  text += "  \"active\": " + active.dump() + "\n}\n";
  return atomic_write(dir / kFileName, text, 0600);
}

}  // namespace vexa::accounts
