#include "files.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <system_error>
#include <vector>

namespace vexa::accounts::detail {

std::expected<std::optional<std::string>, std::string> read_file(
    const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    return std::unexpected(
        fmt::format("could not read {}: {}", path.string(), std::strerror(errno)));
  }
  std::string bytes;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      return std::unexpected(
          fmt::format("could not read {}: {}", path.string(), std::strerror(err)));
    }
    if (n == 0) break;
    bytes.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

std::expected<nlohmann::json, std::string> parse_strict(const std::string& text) {
  std::vector<std::set<std::string>> open_objects;
  std::optional<std::string> duplicate;
  auto track = [&](int, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
    using E = nlohmann::json::parse_event_t;
    if (event == E::object_start) {
      open_objects.emplace_back();
    } else if (event == E::object_end) {
      if (!open_objects.empty()) open_objects.pop_back();
    } else if (event == E::key && !open_objects.empty()) {
      if (!open_objects.back().insert(parsed.get<std::string>()).second && !duplicate) {
        duplicate = parsed.get<std::string>();
      }
    }
    return true;
  };
  nlohmann::json value = nlohmann::json::parse(text, track, /*allow_exceptions=*/false);
  if (value.is_discarded()) return std::unexpected("it is not valid JSON");
  if (duplicate) return std::unexpected(fmt::format("the key \"{}\" appears twice", *duplicate));
  return value;
}

namespace {

// A forward-only reader over text already known to be valid JSON.
struct Scanner {
  std::string_view s;
  std::size_t at = 0;

  void space() {
    while (at < s.size() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\n' || s[at] == '\r')) {
      ++at;
    }
  }
  // At '"': past the closing quote; returns the token as written.
  std::string_view string_token() {
    const std::size_t begin = at++;
    while (at < s.size() && s[at] != '"') at += s[at] == '\\' ? 2 : 1;
    ++at;
    return s.substr(begin, at - begin);
  }
  void value() {
    space();
    if (at >= s.size()) return;
    if (s[at] == '"') {
      string_token();
      return;
    }
    if (s[at] != '{' && s[at] != '[') {
      while (at < s.size() && s[at] != ',' && s[at] != '}' && s[at] != ']') ++at;
      return;
    }
    int depth = 0;
    while (at < s.size()) {
      const char c = s[at];
      if (c == '"') {
        string_token();
        continue;
      }
      ++at;
      if (c == '{' || c == '[') ++depth;
      if ((c == '}' || c == ']') && --depth == 0) return;
    }
  }
};

bool is_accounts_key(std::string_view token) {
  nlohmann::json key = nlohmann::json::parse(token, nullptr, false);
  return key.is_string() && key.get<std::string>() == "accounts";
}

}  // namespace

std::vector<std::pair<std::size_t, std::size_t>> account_spans(std::string_view text) {
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  Scanner in{text};
  in.space();
  if (in.at >= text.size() || text[in.at] != '{') return spans;
  ++in.at;
  for (;;) {
    in.space();
    if (in.at >= text.size() || text[in.at] != '"') return spans;
    const bool accounts = is_accounts_key(in.string_token());
    in.space();
    ++in.at;  // ':'
    in.space();
    if (accounts && in.at < text.size() && text[in.at] == '[') {
      ++in.at;
      for (;;) {
        in.space();
        if (in.at >= text.size() || text[in.at] == ']') return spans;
        const std::size_t begin = in.at;
        in.value();
        spans.emplace_back(begin, in.at - begin);
        in.space();
        if (in.at < text.size() && text[in.at] == ',') ++in.at;
      }
    }
    in.value();
    in.space();
    if (in.at >= text.size() || text[in.at] != ',') return spans;
    ++in.at;
  }
}

std::expected<void, std::string> ensure_dir(const std::filesystem::path& dir) {
  std::error_code ec;
  if (std::filesystem::is_directory(dir, ec)) return {};
  if (!dir.parent_path().empty() && dir.parent_path() != dir) {
    std::filesystem::create_directories(dir.parent_path(), ec);
  }
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    return std::unexpected(
        fmt::format("could not create {}: {}", dir.string(), std::strerror(errno)));
  }
  if (!std::filesystem::is_directory(dir, ec)) {
    return std::unexpected(fmt::format("could not create {}: not a directory", dir.string()));
  }
  return {};
}

std::expected<DirLock, std::string> DirLock::acquire(const std::filesystem::path& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    return std::unexpected(
        fmt::format("could not open {}: {}", dir.string(), std::strerror(errno)));
  }
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    int err = errno;
    ::close(fd);
    return std::unexpected(fmt::format("could not lock {}: {}", dir.string(), std::strerror(err)));
  }
  return DirLock(fd);
}

DirLock::~DirLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace vexa::accounts::detail
