// Where documents live and how they are opened.
#include <fmt/format.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "sqlite_store.h"
#include "tree_document.h"
#include "vexa/ui/persist.h"

namespace vexa::persist {
namespace {

constexpr const char* kFileName = "document.sqlite3";

std::filesystem::path home_dir() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return ".";
}

std::filesystem::path data_home() {
  // Relative values are invalid by the XDG rules and would make the location depend on the
  // working directory.
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') return xdg;
  return home_dir() / ".local" / "share";
}

}  // namespace

std::expected<std::unique_ptr<Document>, std::string> open_file(const std::filesystem::path& path) {
  auto opened = SqliteStore::open(path);
  if (!opened) return std::unexpected(opened.error());
  return std::make_unique<TreeDocument>(std::move(opened->nodes), opened->next_id,
                                        std::move(opened->store));
}

std::filesystem::path default_path(std::string_view app_id) {
  return data_home() / "vexa" / std::string(app_id) / kFileName;
}

std::expected<std::unique_ptr<Document>, std::string> open(std::string_view app_id,
                                                           const std::filesystem::path& dir) {
  if (dir.empty() && (app_id.empty() || app_id.find('/') != std::string_view::npos ||
                      app_id == "." || app_id == "..")) {
    return std::unexpected(fmt::format("invalid application id \"{}\"", app_id));
  }
  std::filesystem::path path = dir.empty() ? default_path(app_id) : dir / kFileName;
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  if (ec) {
    return std::unexpected(
        fmt::format("cannot create {}: {}", path.parent_path().string(), ec.message()));
  }
  return open_file(path);
}

}  // namespace vexa::persist
