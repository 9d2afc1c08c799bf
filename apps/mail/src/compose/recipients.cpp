#include "compose/recipients.h"

#include "mailbox/ascii_text.h"

namespace mail::compose {

namespace {

Recipient parse_piece(std::string_view piece) {
  const auto open = piece.find('<');
  const auto close = open == std::string_view::npos ? open : piece.find('>', open + 1);
  if (close == std::string_view::npos) return Recipient{std::nullopt, std::string(piece)};

  auto name = trim_ascii(piece.substr(0, open));
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
    name = trim_ascii(name.substr(1, name.size() - 2));
  }
  Recipient recipient{std::nullopt,
                      std::string(trim_ascii(piece.substr(open + 1, close - open - 1)))};
  if (!name.empty()) recipient.name = std::string(name);
  return recipient;
}

}  // namespace

std::vector<Recipient> parse_recipients(std::string_view text) {
  std::vector<Recipient> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    auto end = text.find_first_of(",;", start);
    if (end == std::string_view::npos) end = text.size();
    const auto piece = trim_ascii(text.substr(start, end - start));
    if (!piece.empty()) out.push_back(parse_piece(piece));
    start = end + 1;
  }
  return out;
}

}  // namespace mail::compose
