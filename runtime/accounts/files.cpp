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
