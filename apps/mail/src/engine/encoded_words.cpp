#include "engine/encoded_words.h"

#include <glib.h>

#include <cstdint>
#include <vector>

#include "engine/base64_content.h"
#include "engine/charset_text.h"
#include "engine/gmime_handles.h"

namespace mail::engine {
namespace {

struct Word {
  std::size_t begin = 0;
  std::size_t end = 0;       // one past "?="
  std::string_view charset;  // without an RFC 2231 language suffix
  char encoding = 0;         // 'B' or 'Q'
  std::string_view text;
};

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool same_charset(std::string_view a, std::string_view b) {
  return a.size() == b.size() && g_ascii_strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// "=?charset?B|Q?text?=" at `at`, with no white space or "?" inside its fields.
std::optional<Word> word_at(std::string_view s, std::size_t at) {
  if (s.compare(at, 2, "=?") != 0) return std::nullopt;
  std::size_t i = at + 2;
  const std::size_t charset_begin = i;
  while (i < s.size() && s[i] != '?' && !is_space(s[i])) ++i;
  if (i == charset_begin || i + 2 >= s.size() || s[i] != '?') return std::nullopt;
  Word w;
  w.charset = s.substr(charset_begin, i - charset_begin);
  if (const std::size_t star = w.charset.find('*'); star != std::string_view::npos) {
    w.charset = w.charset.substr(0, star);
  }
  const char encoding = s[i + 1];
  if (s[i + 2] != '?') return std::nullopt;
  if (encoding == 'b' || encoding == 'B') {
    w.encoding = 'B';
  } else if (encoding == 'q' || encoding == 'Q') {
    w.encoding = 'Q';
  } else {
    return std::nullopt;
  }
  i += 3;
  const std::size_t text_begin = i;
  while (i < s.size() && s[i] != '?' && !is_space(s[i])) ++i;
  if (i + 1 >= s.size() || s[i] != '?' || s[i + 1] != '=') return std::nullopt;
  w.text = s.substr(text_begin, i - text_begin);
  w.begin = at;
  w.end = i + 2;
  return w;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void append_word_bytes(const Word& w, std::vector<std::uint8_t>& out) {
  if (w.encoding == 'B') {
    append_base64_decoded(w.text, out);
    return;
  }
  for (std::size_t i = 0; i < w.text.size(); ++i) {
    const char c = w.text[i];
    if (c == '_') {
      out.push_back(' ');
      continue;
    }
    if (c == '=' && i + 2 < w.text.size()) {
      const int hi = hex_digit(w.text[i + 1]);
      const int lo = hex_digit(w.text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
        i += 2;
        continue;
      }
    }
    out.push_back(static_cast<std::uint8_t>(c));
  }
}

std::string utf8_word(std::string_view text) {
  GFreeString encoded(g_base64_encode(reinterpret_cast<const guchar*>(text.data()), text.size()));
  return std::string("=?UTF-8?B?") + encoded.get() + "?=";
}

}  // namespace

std::optional<std::string> rewrite_unconvertible_words(std::string_view s) {
  std::optional<std::string> out;
  std::size_t copied = 0;  // bytes of `s` already in `out`
  std::size_t at = s.find("=?");
  while (at != std::string_view::npos) {
    std::optional<Word> first = word_at(s, at);
    if (!first) {
      at = s.find("=?", at + 2);
      continue;
    }
    // A run: words of one charset separated by nothing but white space, which RFC 2047 drops,
    // so a character split across two words is decoded whole.
    std::vector<std::uint8_t> bytes;
    append_word_bytes(*first, bytes);
    std::size_t run_end = first->end;
    for (;;) {
      std::size_t next = run_end;
      while (next < s.size() && is_space(s[next])) ++next;
      std::optional<Word> w = word_at(s, next);
      if (!w || !same_charset(w->charset, first->charset)) break;
      append_word_bytes(*w, bytes);
      run_end = w->end;
    }
    bool unfaithful = false;
    std::string text =
        decode_charset(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                       first->charset, &unfaithful);
    if (unfaithful) {
      if (!out) out.emplace();
      out->append(s.substr(copied, first->begin - copied));
      out->append(utf8_word(text));
      copied = run_end;
    }
    at = s.find("=?", run_end);
  }
  if (out) out->append(s.substr(copied));
  return out;
}

}  // namespace mail::engine
