#pragma once
// The application's message catalogue: Fluent-style `key = text` lines, `#` comments, and
// `{ $name }` placeables filled from named arguments. Lookups never fail: an unknown key reads
// as the key itself and a missing argument stays visible as `{$name}`, so a gap shows on screen
// instead of vanishing.
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vexa::ui::i18n {

class EmbeddedCatalog {
 public:
  // A syntax error names its line ("line 4: ...").
  static std::expected<EmbeddedCatalog, std::string> parse(std::string_view locale,
                                                           std::string_view fluent_source);

  std::string t(std::string_view key) const;
  std::string t_args(std::string_view key,
                     const std::vector<std::pair<std::string, std::string>>& args) const;
  const std::string& locale() const { return locale_; }
  // In source order.
  std::vector<std::string> keys() const { return order_; }

 private:
  std::string locale_;
  std::vector<std::string> order_;
  std::unordered_map<std::string, std::string> texts_;
};

// Widgets that cache translated text compare this number to know when to look texts up again.
class I18nManager {
 public:
  static std::uint64_t revision();
  // Called when the active catalogue changes.
  static void bump_revision();
};

}  // namespace vexa::ui::i18n
