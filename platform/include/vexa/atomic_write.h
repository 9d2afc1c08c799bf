#pragma once
// Replaces a file so that it ends with either its old content or the whole new content:
// temporary file in the same directory, fsync, rename, fsync of the directory.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace vexa {

std::expected<void, std::string> atomic_write(const std::filesystem::path& path,
                                              std::span<const std::uint8_t> bytes,
                                              mode_t mode = 0644);
std::expected<void, std::string> atomic_write(const std::filesystem::path& path,
                                              std::string_view text, mode_t mode = 0644);

}  // namespace vexa
