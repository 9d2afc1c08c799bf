#include "vexa/ui/i18n.h"

#include <fmt/format.h>

#include <atomic>
#include <optional>

namespace vexa::ui::i18n {
namespace {

std::atomic<std::uint64_t> g_revision{1};

bool is_identifier_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_identifier_char(char c) {
  return is_identifier_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '_';
}
bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// A placeable `{ $name }` starting at text[pos] == '{'. On success gives the variable name and
// the offset just past the closing brace.
struct Placeable {
  std::string_view name;
  std::size_t end;
};

std::optional<Placeable> read_placeable(std::string_view text, std::size_t pos) {
  std::size_t i = pos + 1;
  while (i < text.size() && is_blank(text[i])) ++i;
  if (i >= text.size() || text[i] != '$') return std::nullopt;
  const std::size_t name_start = ++i;
  if (i >= text.size() || !is_identifier_start(text[i])) return std::nullopt;
  while (i < text.size() && is_identifier_char(text[i])) ++i;
  const std::string_view name = text.substr(name_start, i - name_start);
  while (i < text.size() && is_blank(text[i])) ++i;
  if (i >= text.size() || text[i] != '}') return std::nullopt;
  return Placeable{name, i + 1};
}

std::optional<std::string> check_value(std::string_view value) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '{') {
      const auto placeable = read_placeable(value, i);
      if (!placeable) return "a placeable must read { $name }";
      i = placeable->end - 1;
    } else if (value[i] == '}') {
      return "unmatched }";
    }
  }
  return std::nullopt;
}

}  // namespace

std::expected<EmbeddedCatalog, std::string> EmbeddedCatalog::parse(std::string_view locale,
                                                                   std::string_view source) {
  EmbeddedCatalog catalog;
  catalog.locale_ = std::string(locale);
  std::size_t line_number = 0;
  while (!source.empty()) {
    ++line_number;
    const std::size_t newline = source.find('\n');
    std::string_view line = source.substr(0, newline);
    source = newline == std::string_view::npos ? std::string_view() : source.substr(newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line_number == 1 && line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);

    if (trim(line).empty() || line.front() == '#') continue;
    auto error = [&](std::string_view what) {
      return std::unexpected(fmt::format("line {}: {}", line_number, what));
    };
    // Indented lines would be multi-line values, which this catalogue does not use.
    if (is_blank(line.front())) return error("unexpected indented line");
    std::size_t i = 0;
    if (!is_identifier_start(line[0])) return error("a message must start with a key");
    while (i < line.size() && is_identifier_char(line[i])) ++i;
    const std::string key(line.substr(0, i));
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i >= line.size() || line[i] != '=') return error("expected \"key = text\"");
    const std::string_view value = trim(line.substr(i + 1));
    if (value.empty()) return error(fmt::format("{} has no text", key));
    if (const auto problem = check_value(value)) return error(*problem);
    if (catalog.texts_.contains(key)) return error(fmt::format("{} is defined twice", key));
    catalog.texts_.emplace(key, std::string(value));
    catalog.order_.push_back(key);
  }
  return catalog;
}

std::string EmbeddedCatalog::t(std::string_view key) const { return t_args(key, {}); }

std::string EmbeddedCatalog::t_args(
    std::string_view key, const std::vector<std::pair<std::string, std::string>>& args) const {
  const auto found = texts_.find(std::string(key));
  if (found == texts_.end()) return std::string(key);
  const std::string& text = found->second;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '{') {
      out += text[i];
      continue;
    }
    // parse() accepted only well-formed placeables.
    const auto placeable = read_placeable(text, i);
    const std::string* value = nullptr;
    for (const auto& [name, arg] : args) {
      if (name == placeable->name) {
        value = &arg;
        break;
      }
    }
    if (value != nullptr) {
      out += *value;
    } else {
      out += "{$";
      out += placeable->name;
      out += '}';
    }
    i = placeable->end - 1;
  }
  return out;
}

std::uint64_t I18nManager::revision() { return g_revision.load(std::memory_order_relaxed); }
void I18nManager::bump_revision() { g_revision.fetch_add(1, std::memory_order_relaxed); }

}  // namespace vexa::ui::i18n
