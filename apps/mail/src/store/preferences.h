#pragma once
// The local compose-format preference, kept in "mail-local.json" in the persistence directory.
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace mail::store {

inline constexpr std::string_view kPreferencesFileName = "mail-local.json";

enum class ComposeFormat { Html, Text };

struct LocalPreferences {
  bool plain_text = false;
  friend bool operator==(const LocalPreferences&, const LocalPreferences&) = default;
};

// Compact JSON: {"compose_format":"html"} or {"compose_format":"text"}.
std::string to_json_text(const LocalPreferences& preferences);
// An object whose "compose_format" is a string; any value but "text" means rich text.
std::optional<LocalPreferences> parse_local_preferences(std::string_view text);

// Rich text unless the file exists, parses and asks for "text". No directory: rich text.
ComposeFormat load_compose_format(const std::optional<std::filesystem::path>& dir);
// Creates the directory when needed and replaces the file atomically. No directory: nothing is
// written and the result is success.
std::expected<void, std::string> save_compose_format(
    const std::optional<std::filesystem::path>& dir, ComposeFormat format);

}  // namespace mail::store
