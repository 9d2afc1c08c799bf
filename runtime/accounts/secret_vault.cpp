#include <fmt/format.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "files.h"
#include "vexa/accounts/accounts.h"
#include "vexa/atomic_write.h"
#include "vexa/log.h"

namespace vexa::accounts {
namespace {

constexpr const char* kFileName = "vault.json";

// Reasons never quote the file: it holds secrets, and error texts reach logs and the screen.
std::expected<std::map<std::string, std::string>, std::string> read_vault(
    const std::filesystem::path& dir) {
  const auto path = dir / kFileName;
  auto bytes = detail::read_file(path);
  if (!bytes) return std::unexpected(bytes.error());
  std::map<std::string, std::string> secrets;
  if (!*bytes) return secrets;
  auto parsed = detail::parse_strict(**bytes);
  if (!parsed || !parsed->is_object()) {
    return std::unexpected(
        fmt::format("could not read {}: it is not a JSON object of texts", path.string()));
  }
  for (const auto& [key, value] : parsed->items()) {
    if (!value.is_string()) {
      return std::unexpected(
          fmt::format("could not read {}: the entry \"{}\" is not text", path.string(), key));
    }
    secrets[key] = value.get<std::string>();
  }
  return secrets;
}

// Secrets readable by other users are made private again; the log says it happened.
void tighten(const std::filesystem::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  if ((st.st_mode & 077) == 0) return;
  if (::chmod(path.c_str(), 0600) == 0) {
    log::warn("vexa::accounts", "accounts: the secret vault was readable by others; made private",
              {{"path", path.string()}});
  } else {
    log::error("vexa::accounts", "accounts: the secret vault is readable by others",
               {{"path", path.string()}, {"error", std::strerror(errno)}});
  }
}

}  // namespace

std::expected<SecretVault, std::string> SecretVault::open() {
  auto root = config_root();
  if (!root) return SecretVault{};
  return open_in(*root);
}

std::expected<SecretVault, std::string> SecretVault::open_in(const std::filesystem::path& dir) {
  tighten(dir / kFileName);
  auto secrets = read_vault(dir);
  if (!secrets) return std::unexpected(secrets.error());
  SecretVault vault;
  vault.dir_ = dir;
  vault.secrets_ = std::move(*secrets);
  return vault;
}

std::optional<std::string> SecretVault::get(const std::string& key) const {
  auto it = secrets_.find(key);
  if (it == secrets_.end()) return std::nullopt;
  return it->second;
}

void SecretVault::put(const std::string& key, std::string secret) {
  secrets_[key] = secret;
  changes_[key] = std::move(secret);
}

void SecretVault::remove(const std::string& key) {
  secrets_.erase(key);
  changes_[key] = std::nullopt;
}

std::expected<void, std::string> SecretVault::try_save() const {
  if (!dir_) {
    return std::unexpected(
        "the secret vault cannot be saved: there is no configuration directory (neither "
        "XDG_CONFIG_HOME nor HOME is set)");
  }
  if (auto made = detail::ensure_dir(*dir_); !made) return made;
  auto lock = detail::DirLock::acquire(*dir_);
  if (!lock) return std::unexpected(lock.error());
  // Another handle (the worker's, say) may have saved since this one was opened.
  auto current = read_vault(*dir_);
  if (!current) return std::unexpected(current.error());
  for (const auto& [key, secret] : changes_) {
    if (secret) {
      (*current)[key] = *secret;
    } else {
      current->erase(key);
    }
  }
  nlohmann::json j = nlohmann::json::object();
  for (const auto& [key, secret] : *current) j[key] = secret;
  std::string text;
  try {
    text = j.dump(2) + "\n";
  } catch (const nlohmann::json::exception&) {
    return std::unexpected("the secret vault cannot be saved: a secret is not UTF-8 text");
  }
  if (auto written = atomic_write(*dir_ / kFileName, text, 0600); !written) return written;
  secrets_ = std::move(*current);
  changes_.clear();
  return {};
}

}  // namespace vexa::accounts
