#include "vexa/atomic_write.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vexa {
namespace {

std::string os_error(int err) { return std::strerror(err); }

bool write_all(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::expected<void, std::string> atomic_write(const std::filesystem::path& path,
                                              std::span<const std::uint8_t> bytes, mode_t mode) {
  if (path.empty() || !path.has_filename()) {
    return std::unexpected(fmt::format("could not write \"{}\": not a file path", path.string()));
  }
  const std::filesystem::path dir = path.has_parent_path() ? path.parent_path() : ".";
  // Hidden and beside the target so the rename stays on one file system.
  std::string temp = (dir / ("." + path.filename().string() + ".tmp-XXXXXX")).string();
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    return std::unexpected(
        fmt::format("could not create a temporary file in {}: {}", dir.string(), os_error(errno)));
  }
  auto fail = [&](std::string_view what) {
    const int err = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    return std::unexpected(fmt::format("could not {} {}: {}", what, path.string(), os_error(err)));
  };
  // fchmod, not the umask-filtered open mode: a 0600 secret file must never be wider.
  if (::fchmod(fd, mode) != 0) return fail("set the mode of");
  if (!write_all(fd, bytes.data(), bytes.size())) return fail("write");
  if (::fsync(fd) != 0) return fail("flush");
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    return std::unexpected(fmt::format("could not write {}: {}", path.string(), os_error(err)));
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    return std::unexpected(fmt::format("could not replace {}: {}", path.string(), os_error(err)));
  }
  // The rename is durable only once the directory entry is on disk.
  const int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd < 0) {
    return std::unexpected(
        fmt::format("could not open directory {}: {}", dir.string(), os_error(errno)));
  }
  const int synced = ::fsync(dir_fd);
  const int err = errno;
  ::close(dir_fd);
  if (synced != 0) {
    return std::unexpected(
        fmt::format("could not flush directory {}: {}", dir.string(), os_error(err)));
  }
  return {};
}

std::expected<void, std::string> atomic_write(const std::filesystem::path& path,
                                              std::string_view text, mode_t mode) {
  return atomic_write(
      path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), mode);
}

}  // namespace vexa
