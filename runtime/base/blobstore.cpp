#include "vexa/blobstore.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <system_error>

#include "vexa/atomic_write.h"

namespace vexa::blobstore {
namespace {

std::mutex& root_mutex() {
  static std::mutex m;
  return m;
}

std::optional<std::filesystem::path>& root_override() {
  static std::optional<std::filesystem::path> r;
  return r;
}

std::filesystem::path home_dir() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  return "/";
}

std::filesystem::path blob_path(const std::filesystem::path& base, std::string_view hash) {
  return base / std::string(hash.substr(0, 2)) / std::string(hash);
}

std::optional<std::vector<std::uint8_t>> read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace

std::filesystem::path default_root() {
  // XDG: a relative XDG_DATA_HOME is invalid and must be ignored.
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
    return std::filesystem::path(xdg) / "vexa" / "blobs";
  }
  return home_dir() / ".local" / "share" / "vexa" / "blobs";
}

void set_root(std::filesystem::path root) {
  std::lock_guard lock(root_mutex());
  root_override() = std::move(root);
}

std::filesystem::path root() {
  std::lock_guard lock(root_mutex());
  return root_override() ? *root_override() : default_root();
}

std::expected<std::string, std::string> put(std::span<const std::uint8_t> bytes) {
  std::string hash = blake3_hex(bytes);
  const std::filesystem::path path = blob_path(root(), hash);
  // An existing blob is kept only when it still holds these bytes; a damaged one is replaced.
  if (const auto existing = read_file(path); existing && verify(hash, *existing)) return hash;
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  if (ec) {
    return std::unexpected("could not create blob directory " + path.parent_path().string() + ": " +
                           ec.message());
  }
  if (auto written = atomic_write(path, bytes, 0644); !written) {
    return std::unexpected(written.error());
  }
  return hash;
}

std::optional<std::vector<std::uint8_t>> get(std::string_view hash) {
  // Only well-formed names reach the file system, so a hash can never name a path elsewhere.
  if (!is_hash_text(hash)) return std::nullopt;
  auto bytes = read_file(blob_path(root(), hash));
  if (!bytes || !verify(hash, *bytes)) return std::nullopt;
  return bytes;
}

bool verify(std::string_view hash, std::span<const std::uint8_t> bytes) {
  return is_hash_text(hash) && blake3_hex(bytes) == hash;
}

}  // namespace vexa::blobstore
