#include "store/preferences.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <system_error>

#include "vexa/atomic_write.h"

namespace mail::store {

namespace {

// The file holds one short key; anything this large is not ours.
constexpr std::size_t kMaxFileBytes = 64 * 1024;

std::optional<std::string> read_small_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  text.resize(kMaxFileBytes + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return std::nullopt;
  const auto got = static_cast<std::size_t>(in.gcount());
  if (got > kMaxFileBytes) return std::nullopt;
  text.resize(got);
  return text;
}

}  // namespace

std::string to_json_text(const LocalPreferences& preferences) {
  nlohmann::json out = {{"compose_format", preferences.plain_text ? "text" : "html"}};
  return out.dump();
}

std::optional<LocalPreferences> parse_local_preferences(std::string_view text) {
  auto value = nlohmann::json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (!value.is_object()) return std::nullopt;
  auto format = value.find("compose_format");
  if (format == value.end() || !format->is_string()) return std::nullopt;
  return LocalPreferences{.plain_text = *format == "text"};
}

ComposeFormat load_compose_format(const std::optional<std::filesystem::path>& dir) {
  if (!dir) return ComposeFormat::Html;
  auto text = read_small_file(*dir / kPreferencesFileName);
  if (!text) return ComposeFormat::Html;
  auto preferences = parse_local_preferences(*text);
  return preferences && preferences->plain_text ? ComposeFormat::Text : ComposeFormat::Html;
}

std::expected<void, std::string> save_compose_format(
    const std::optional<std::filesystem::path>& dir, ComposeFormat format) {
  if (!dir) return {};
  std::error_code ec;
  std::filesystem::create_directories(*dir, ec);
  if (ec) return std::unexpected(ec.message());
  const LocalPreferences preferences{.plain_text = format == ComposeFormat::Text};
  return vexa::atomic_write(*dir / kPreferencesFileName, to_json_text(preferences));
}

}  // namespace mail::store
