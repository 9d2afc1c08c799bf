#include "engine/base64_content.h"

#include <array>

namespace mail::engine {
namespace {

constexpr std::uint8_t kSkip = 0xFF;
constexpr std::uint8_t kPad = 0xFE;

constexpr std::array<std::uint8_t, 256> make_table() {
  std::array<std::uint8_t, 256> table{};
  for (auto& v : table) v = kSkip;
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    table[static_cast<std::uint8_t>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  }
  table['='] = kPad;
  return table;
}

constexpr std::array<std::uint8_t, 256> kTable = make_table();

}  // namespace

void append_base64_decoded(std::string_view encoded, std::vector<std::uint8_t>& out) {
  out.reserve(out.size() + encoded.size() / 4 * 3 + 3);
  std::uint32_t bits = 0;
  int count = 0;  // sextets held in `bits`
  const auto flush_partial = [&] {
    // Two sextets carry one whole byte, three carry two; a lone sextet carries none.
    if (count >= 2) out.push_back(static_cast<std::uint8_t>(bits >> (6 * count - 8)));
    if (count == 3) out.push_back(static_cast<std::uint8_t>(bits >> 2));
    bits = 0;
    count = 0;
  };
  for (const char c : encoded) {
    const std::uint8_t v = kTable[static_cast<std::uint8_t>(c)];
    if (v == kSkip) continue;
    if (v == kPad) {
      flush_partial();
      continue;
    }
    bits = (bits << 6) | v;
    if (++count == 4) {
      out.push_back(static_cast<std::uint8_t>(bits >> 16));
      out.push_back(static_cast<std::uint8_t>(bits >> 8));
      out.push_back(static_cast<std::uint8_t>(bits));
      bits = 0;
      count = 0;
    }
  }
  flush_partial();
}

}  // namespace mail::engine
