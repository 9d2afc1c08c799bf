#include <fmt/format.h>

#include <chrono>

#include "files.h"
#include "vexa/accounts/accounts.h"
#include "vexa/atomic_write.h"
#include "vexa/log.h"

namespace vexa::accounts {

AccountSyncReporter::AccountSyncReporter(std::filesystem::path root, std::string address)
    : root_(std::move(root)), address_(std::move(address)) {}

std::expected<void, std::string> AccountSyncReporter::started() const { return write("started"); }
std::expected<void, std::string> AccountSyncReporter::succeeded() const {
  return write("succeeded");
}
std::expected<void, std::string> AccountSyncReporter::needs_authentication() const {
  return write("needs_authentication");
}
std::expected<void, std::string> AccountSyncReporter::failed() const { return write("failed"); }

std::expected<void, std::string> AccountSyncReporter::write(const char* state) const {
  const auto path = root_ / "sync-status.json";
  if (auto made = detail::ensure_dir(root_); !made) return made;
  auto lock = detail::DirLock::acquire(root_);
  if (!lock) return std::unexpected(lock.error());
  auto bytes = detail::read_file(path);
  if (!bytes) return std::unexpected(bytes.error());
  nlohmann::json status = nlohmann::json::object();
  if (*bytes) {
    auto parsed = detail::parse_strict(**bytes);
    if (parsed && parsed->is_object()) {
      status = std::move(*parsed);
    } else {
      // Status is derived data that the next sync rewrites anyway; refusing would leave every
      // account's status stuck for good.
      log::warn("vexa::accounts", "replacing an unreadable sync status file",
                {{"path", path.string()}});
    }
  }
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  status[address_] = {{"state", state}, {"at", now}};
  std::string text;
  try {
    text = status.dump(2) + "\n";
  } catch (const nlohmann::json::exception&) {
    return std::unexpected(
        fmt::format("could not write {}: the address is not UTF-8", path.string()));
  }
  return atomic_write(path, text, 0600);
}

}  // namespace vexa::accounts
