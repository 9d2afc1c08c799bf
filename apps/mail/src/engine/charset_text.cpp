#include "engine/charset_text.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "engine/mime_message.h"
#include "mailbox/ascii_text.h"
#include "vexa/utf8.h"

namespace mail::engine {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

enum class Family { Utf8, Windows1252, Unknown, Other };

std::string lower_label(std::string_view charset) {
  std::string_view s = trim_ascii(charset);
  while (!s.empty() && (s.front() == '"' || s.front() == '\'')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == '"' || s.back() == '\'')) s.remove_suffix(1);
  return ascii_lower(trim_ascii(s));
}

Family family_of(std::string_view label) {
  static constexpr std::string_view kUtf8[] = {"",
                                               "utf-8",
                                               "utf8",
                                               "unicode-1-1-utf-8",
                                               "unicode11utf8",
                                               "unicode20utf8",
                                               "x-unicode20utf8",
                                               "us-ascii",
                                               "ascii",
                                               "ansi_x3.4-1968"};
  static constexpr std::string_view kWindows1252[] = {
      "windows-1252", "cp1252",         "x-cp1252", "iso-8859-1", "iso8859-1", "iso88591",
      "iso_8859-1",   "latin1",         "l1",       "cp819",      "ibm819",    "iso-ir-100",
      "csisolatin1",  "iso_8859-1:1987"};
  if (std::ranges::find(kUtf8, label) != std::end(kUtf8)) return Family::Utf8;
  if (std::ranges::find(kWindows1252, label) != std::end(kWindows1252)) return Family::Windows1252;
  // Labels that admit the charset is not known; GMime would read them in the locale's charset,
  // which says nothing about the message.
  if (label == "x-unknown" || label == "unknown" || label == "unknown-8bit") return Family::Unknown;
  return Family::Other;
}

std::string decode_windows_1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) < 0x80) {
      out.push_back(c);
    } else {
      vexa::utf8::append_code_point(out, windows_1252(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

std::string convert(std::string_view bytes, iconv_t cd, bool& replaced) {
  std::string out(bytes.size() * 2 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  char* to = out.data();
  std::size_t to_left = out.size();
  const auto grow = [&] {
    const std::size_t used = static_cast<std::size_t>(to - out.data());
    out.resize(out.size() * 2);
    to = out.data() + used;
    to_left = out.size() - used;
  };
  while (in_left > 0) {
    if (g_mime_iconv(cd, &in, &in_left, &to, &to_left) != static_cast<std::size_t>(-1)) break;
    const int error = errno;
    if (error == E2BIG) {
      grow();
      continue;
    }
    replaced = true;
    if (to_left < kReplacement.size()) grow();
    std::memcpy(to, kReplacement.data(), kReplacement.size());
    to += kReplacement.size();
    to_left -= kReplacement.size();
    // EINVAL is a sequence cut off by the end of the text: one replacement for all of it.
    if (error != EILSEQ) break;
    ++in;
    --in_left;
  }
  while (g_mime_iconv(cd, nullptr, nullptr, &to, &to_left) == static_cast<std::size_t>(-1) &&
         errno == E2BIG) {
    grow();
  }
  out.resize(static_cast<std::size_t>(to - out.data()));
  return out;
}

bool has_8bit(std::string_view bytes) {
  return std::ranges::any_of(bytes, [](char c) { return static_cast<std::uint8_t>(c) >= 0x80; });
}

}  // namespace

char32_t windows_1252(unsigned char byte) {
  static constexpr std::array<char16_t, 32> kHigh = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (byte >= 0x80 && byte < 0xA0) return kHigh[byte - 0x80];
  return byte;
}

bool reads_as_utf8(std::string_view charset) {
  return family_of(lower_label(charset)) == Family::Utf8;
}

std::string decode_charset(std::string_view bytes, std::string_view charset, bool* unfaithful) {
  bool lossy = false;
  std::string out;
  const std::string label = lower_label(charset);
  const Family family = family_of(label);
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
  if (family == Family::Other) {
    ensure_gmime();
    cd = g_mime_iconv_open("UTF-8", label.c_str());
  }
  if (family == Family::Windows1252) {
    out = decode_windows_1252(bytes);
  } else if (cd != reinterpret_cast<iconv_t>(-1)) {
    out = convert(bytes, cd, lossy);
    g_mime_iconv_close(cd);
    // iconv writes valid UTF-8; this only guards against a converter that does not.
    if (!vexa::utf8::is_valid(out)) out = vexa::utf8::repair(out);
  } else {
    const bool valid = vexa::utf8::is_valid(bytes);
    lossy = !valid || (family != Family::Utf8 && has_8bit(bytes));
    out = valid ? std::string(bytes) : vexa::utf8::repair(bytes);
  }
  if (unfaithful) *unfaithful = lossy;
  return out;
}

}  // namespace mail::engine
