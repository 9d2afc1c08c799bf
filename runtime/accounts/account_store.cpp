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
  auto bad = [&](std::string_view why) {
    return std::unexpected(fmt::format("could not read {}: {}", path.string(), why));
  };
  auto parsed = detail::parse_strict(**bytes);
  if (!parsed) return bad(parsed.error());
  const Json& root = *parsed;
  if (!root.is_object()) return bad("it is not a JSON object");

  if (auto accounts = root.find("accounts"); accounts != root.end()) {
    if (!accounts->is_array()) return bad("\"accounts\" is not a list");
    std::set<std::string> ids;
    for (std::size_t i = 0; i < accounts->size(); ++i) {
      auto record = read_record((*accounts)[i]);
      if (!record) return bad(fmt::format("account {}: {}", i + 1, record.error()));
      // Two records for one id would make upsert and remove ambiguous.
      if (!ids.insert(record->id.value).second) {
        return bad(fmt::format("the account id \"{}\" appears twice", record->id.value));
      }
      store.records_.push_back(std::move(*record));
    }
  }
  if (auto active = root.find("active"); active != root.end()) {
    if (!active->is_object()) return bad("\"active\" is not an object");
    for (const auto& [type, id] : active->items()) {
      if (!id.is_string())
        return bad(fmt::format("the active account of \"{}\" is not text", type));
      store.active_[type] = id.get<std::string>();
    }
  }
  return store;
}

std::vector<AccountRecord> AccountStore::list(const AccountTypeId& type) const {
  std::vector<AccountRecord> out;
  for (const auto& r : records_) {
    if (r.type == type) out.push_back(r);
  }
  return out;
}

std::optional<AccountId> AccountStore::active_id(const AccountTypeId& type) const {
  auto it = active_.find(type.value);
  if (it == active_.end()) return std::nullopt;
  return AccountId{it->second};
}

void AccountStore::upsert(AccountRecord record) {
  auto it = std::find_if(records_.begin(), records_.end(),
                         [&](const AccountRecord& r) { return r.id == record.id; });
  if (it != records_.end()) {
    *it = std::move(record);
  } else {
    records_.push_back(std::move(record));
  }
}

void AccountStore::remove(const AccountId& id) {
  std::erase_if(records_, [&](const AccountRecord& r) { return r.id == id; });
  // An active entry naming a removed account would point at nothing after the next start.
  std::erase_if(active_, [&](const auto& entry) { return entry.second == id.value; });
}

void AccountStore::set_active(const AccountTypeId& type, const AccountId& id) {
  active_[type.value] = id.value;
}

std::expected<void, std::string> AccountStore::save_in(const std::filesystem::path& dir) const {
  if (auto made = detail::ensure_dir(dir); !made) return made;
  Json accounts = Json::array();
  for (const auto& r : records_) {
    // What load would refuse must not be written: the next start could not read the store.
    if (r.id.value.empty() || !r.settings.is_object()) {
      return std::unexpected(fmt::format("could not write {}: the account \"{}\" is incomplete",
                                         (dir / kFileName).string(), r.id.value));
    }
    accounts.push_back(Json{{"id", r.id.value},
                            {"type", r.type.value},
                            {"label", r.label},
                            {"settings", r.settings},
                            {"enabled", r.enabled},
                            {"avatar_seed", r.avatar_seed}});
  }
  Json active = Json::object();
  for (const auto& [type, id] : active_) active[type] = id;
  Json root{{"accounts", std::move(accounts)}, {"active", std::move(active)}};
  std::string text;
  try {
    text = root.dump(2) + "\n";
  } catch (const Json::exception&) {
    return std::unexpected(fmt::format(
        "could not write {}: an account holds text that is not UTF-8", (dir / kFileName).string()));
  }
  return atomic_write(dir / kFileName, text, 0600);
}

}  // namespace vexa::accounts
