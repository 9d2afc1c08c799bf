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
  const std::size_t base = out.size();
  out.resize(base + encoded.size() / 4 * 3 + 3);
  std::uint8_t* to = out.data() + base;
  std::uint32_t bits = 0;
  int count = 0;  // sextets held in `bits`
  const auto flush_partial = [&] {
    // Two sextets carry one whole byte, three carry two; a lone sextet carries none.
    if (count >= 2) *to++ = static_cast<std::uint8_t>(bits >> (6 * count - 8));
    if (count == 3) *to++ = static_cast<std::uint8_t>(bits >> 2);
    bits = 0;
    count = 0;
  };
  const auto* in = reinterpret_cast<const std::uint8_t*>(encoded.data());
  const std::uint8_t* const end = in + encoded.size();
  while (in < end) {
    // Whole groups of four alphabet characters, the bulk of any line, go without branching
    // per character.
    if (count == 0) {
      while (end - in >= 4) {
        const std::uint8_t a = kTable[in[0]], b = kTable[in[1]], c = kTable[in[2]],
                           d = kTable[in[3]];
        if ((a | b | c | d) >= 64) break;
        const std::uint32_t group =
            std::uint32_t{a} << 18 | std::uint32_t{b} << 12 | std::uint32_t{c} << 6 | d;
        to[0] = static_cast<std::uint8_t>(group >> 16);
        to[1] = static_cast<std::uint8_t>(group >> 8);
        to[2] = static_cast<std::uint8_t>(group);
        to += 3;
        in += 4;
      }
      if (in >= end) break;
    }
    const std::uint8_t v = kTable[*in++];
    if (v == kSkip) continue;
    if (v == kPad) {
      flush_partial();
      continue;
    }
    bits = (bits << 6) | v;
    if (++count == 4) {
      to[0] = static_cast<std::uint8_t>(bits >> 16);
      to[1] = static_cast<std::uint8_t>(bits >> 8);
      to[2] = static_cast<std::uint8_t>(bits);
      to += 3;
      bits = 0;
      count = 0;
    }
  }
  flush_partial();
  out.resize(static_cast<std::size_t>(to - out.data()));
}

}  // namespace mail::engine
