#include "scenes/sample_mailbox.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "resources/embedded_files.h"
#include "engine/mime_message.h"

namespace mail::core {

namespace {

// How long before "now" the newest sample message arrived.
constexpr std::int64_t kNewestAgeMinutes = 7;

[[noreturn]] void broken_sample(const std::string& why) {
  std::fputs(fmt::format("sample mailbox: {}\n", why).c_str(), stderr);
  std::abort();
}

std::string_view resource(std::string_view name) {
  std::optional<std::string_view> bytes = mail::resources::find(name);
  if (!bytes) broken_sample(fmt::format("missing resource {}", name));
  return *bytes;
}

}  // namespace

SampleMailbox load_sample_mailbox(std::int64_t now_minutes) {
  const nlohmann::json manifest = nlohmann::json::parse(resource("manifest.json"), nullptr, false);
  if (!manifest.is_object() || !manifest.contains("accounts") || !manifest.contains("messages")) {
    broken_sample("manifest.json is not a manifest");
  }

  SampleMailbox sample;
  for (const nlohmann::json& entry : manifest["accounts"]) {
    std::expected<StoredConfig, std::string> config = stored_config_from_json(entry);
    if (!config) broken_sample(config.error());
    sample.accounts.push_back(std::move(*config));
  }
  sample.account_messages.resize(sample.accounts.size());

  std::int64_t newest = std::numeric_limits<std::int64_t>::min();
  try {
    for (const nlohmann::json& entry : manifest["messages"]) {
      const std::string file = entry.at("file").get<std::string>();
      const std::size_t account = entry.at("account").get<std::size_t>();
      std::optional<FolderRole> folder = parse_folder_key(entry.at("folder").get<std::string>());
      if (account >= sample.accounts.size() || !folder) broken_sample("bad entry for " + file);
      MailMessage message = engine::build_mail_message(
          resource(file), *folder, entry.at("seen").get<bool>(), entry.at("starred").get<bool>(),
          entry.at("received").get<std::int64_t>(), 0);
      newest = std::max(newest, message.time);
      sample.account_messages[account].push_back(std::move(message));
    }
  } catch (const nlohmann::json::exception& e) {
    broken_sample(e.what());
  }

  const std::int64_t shift = now_minutes - kNewestAgeMinutes - newest;
  for (auto& list : sample.account_messages) {
    for (MailMessage& m : list) m.time += shift;
  }
  if (!sample.account_messages.empty()) sample.messages = sample.account_messages.front();
  return sample;
}

}  // namespace mail::core
