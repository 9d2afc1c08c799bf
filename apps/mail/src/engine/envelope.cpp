#include "engine/envelope.h"

#include <fmt/format.h>

#include "compose/recipients.h"
#include "mailbox/ascii_text.h"

namespace mail::engine {

namespace {

constexpr std::size_t kMaxUser = 64;
constexpr std::size_t kMaxDomain = 255;

bool is_atext(unsigned char c) {
  if (c >= 0x80) return true;  // UTF-8 mailboxes
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-/=?^_`{|}~").find(static_cast<char>(c)) !=
         std::string_view::npos;
}

bool is_dot_atom(std::string_view text, bool (*allowed)(unsigned char)) {
  if (text.empty() || text.front() == '.' || text.back() == '.') return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '.') {
      if (text[i - 1] == '.') return false;
    } else if (!allowed(c)) {
      return false;
    }
  }
  return true;
}

bool is_quoted_user(std::string_view text) {
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') return false;
  for (std::size_t i = 1; i + 1 < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) return false;
    if (c == '\\') {
      if (++i + 1 >= text.size()) return false;
    } else if (c == '"') {
      return false;
    }
  }
  return true;
}

bool is_label_char(unsigned char c) {
  return c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '_';
}

bool is_domain_literal(std::string_view text) {
  if (text.size() < 3 || text.front() != '[' || text.back() != ']') return false;
  for (char ch : text.substr(1, text.size() - 2)) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7f || c == '[' || c == ']' || c == '\\') return false;
  }
  return true;
}

}  // namespace

std::expected<std::string, std::string> parse_plain_address(std::string_view text) {
  const auto at = text.rfind('@');
  if (at == std::string_view::npos) return std::unexpected(std::string("missing \"@\""));
  const auto user = text.substr(0, at);
  const auto domain = text.substr(at + 1);
  if (user.size() > kMaxUser || !(is_dot_atom(user, is_atext) || is_quoted_user(user))) {
    return std::unexpected(std::string("invalid user part"));
  }
  if (domain.size() > kMaxDomain ||
      !(is_dot_atom(domain, is_label_char) || is_domain_literal(domain))) {
    return std::unexpected(std::string("invalid domain part"));
  }
  return std::string(text);
}

std::expected<Envelope, std::string> build_envelope(const StoredConfig& account,
                                                    const DraftData& draft) {
  auto from = parse_plain_address(trim_ascii(account.email));
  if (!from) return std::unexpected(fmt::format("invalid From address: {}", from.error()));

  Envelope envelope{.from = std::move(*from)};
  for (const std::string* field : {&draft.to, &draft.cc, &draft.bcc}) {
    for (auto& recipient : compose::parse_recipients(*field)) {
      if (auto address = parse_plain_address(recipient.address)) {
        envelope.recipients.push_back(std::move(*address));
      }
    }
  }
  if (envelope.recipients.empty()) return std::unexpected(std::string("no valid recipients"));
  return envelope;
}

}  // namespace mail::engine
