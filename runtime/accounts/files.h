#pragma once
// File helpers shared by the account service's three files.
#include <expected>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexa::accounts::detail {

// The file's bytes, nullopt when it does not exist.
std::expected<std::optional<std::string>, std::string> read_file(const std::filesystem::path& path);

// Parses JSON and rejects an object that holds a key twice (the parser alone would keep the
// last one). On failure returns the reason, without echoing the input.
std::expected<nlohmann::json, std::string> parse_strict(const std::string& text);

// Where each element of the root object's "accounts" list stands in `text`, which must be valid
// JSON: (offset, length) pairs in order; empty when there is no such list.
std::vector<std::pair<std::size_t, std::size_t>> account_spans(std::string_view text);

// Creates the directory (and its parents) when missing; a directory created here is private
// to the user because the configuration root holds the vault.
std::expected<void, std::string> ensure_dir(const std::filesystem::path& dir);

// An exclusive advisory lock on a directory, serialising read-modify-write of the files in it
// across threads and processes.
class DirLock {
 public:
  static std::expected<DirLock, std::string> acquire(const std::filesystem::path& dir);
  DirLock(DirLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  DirLock& operator=(DirLock&&) = delete;
  ~DirLock();

 private:
  explicit DirLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace vexa::accounts::detail
