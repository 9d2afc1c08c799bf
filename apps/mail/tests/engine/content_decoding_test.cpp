// The decoders behind part contents and header words, on the shapes real senders produce.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base64_content.h"
#include "engine/charset_text.h"
#include "engine/encoded_words.h"

namespace mail::engine {
namespace {

const std::string R = "\uFFFD";

TEST(Base64Content, DecodesWhatMailCarries) {
  struct Case {
    std::string encoded;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"QUJDREVG", "ABCDEF"},
      {"QUJDREU", "ABCDE"},  // last group without its padding
      {"QUJDRA", "ABCD"},
      {"QUJDR", "ABC"},  // a lone sextet carries no whole byte
      {"QUJD\r\nREVG\r\n", "ABCDEF"},
      {"QU JD\t!!RE*VG", "ABCDEF"},  // stray characters are skipped
      {"QQ==QkM=", "ABC"},           // padded chunks one after another
      {"QQ==\r\n", "A"},
      {"", ""},
      {"====", ""},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> out;
    append_base64_decoded(c.encoded, out);
    EXPECT_EQ(std::string(out.begin(), out.end()), c.bytes) << c.encoded;
  }
}

TEST(CharsetText, DecodesByLabelAndMarksWhatItCouldNotRead) {
  struct Case {
    std::string bytes;
    std::string charset;
    std::string text;
    bool unfaithful;
  };
  const std::vector<Case> cases = {
      {"caf\xC3\xA9", "UTF-8", "caf\u00e9", false},
      {"caf\xC3\xA9", "", "caf\u00e9", false},
      {"caf\xE9", "\"utf8\"", "caf" + R, true},
      {"cut \xE2\x82!", "us-ascii", "cut " + R + "!", true},
      // Latin-1 labels mean Windows-1252: curly quotes and the euro sign survive, and the
      // bytes the code page leaves undefined still map to a character.
      {"\x93hi\x94 \x80 \xE9 \x81", "ISO-8859-1", "\u201chi\u201d \u20ac \u00e9 \u0081", false},
      {"\x93hi\x94", "windows-1252", "\u201chi\u201d", false},
      {"\xA4", "iso-8859-15", "\u20ac", false},
      {"\xC4\xE3\xBA\xC3", "gb2312", "\u4f60\u597d", false},
      {"\x82\xB1\x82\xF1", "Shift_JIS", "\u3053\u3093", false},
      {"\x1B$B$3$s\x1B(B", "iso-2022-jp", "\u3053\u3093", false},
      {"ok \xA4\xA2 \xFF\xFF end", "euc-jp", "ok \u3042 " + R + R + " end", true},
      {"cut \xA4", "euc-jp", "cut " + R, true},  // a sequence cut off by the end of the part
      {"caf\xE9", "x-no-such-charset", "caf" + R, true},
      // GMime would read these in the locale's charset, which says nothing about the message.
      {"caf\xE9", "x-unknown", "caf" + R, true},
      {"caf\xE9", "unknown-8bit", "caf" + R, true},
      {"plain", "x-no-such-charset", "plain", false},
      {"caf\xC3\xA9", "x-no-such-charset", "caf\u00e9", true},
  };
  for (const Case& c : cases) {
    bool unfaithful = false;
    EXPECT_EQ(decode_charset(c.bytes, c.charset, &unfaithful), c.text) << c.charset;
    EXPECT_EQ(unfaithful, c.unfaithful) << c.charset << " " << c.bytes;
  }
}

TEST(EncodedWords, OnlyRunsGMimeWouldDecodeLossilyAreRewritten) {
  struct Case {
    std::string raw;
    std::optional<std::string> rewritten;
  };
  const std::vector<Case> cases = {
      {"plain subject", std::nullopt},
      {"=?utf-8?q?caf=C3=A9?=", std::nullopt},
      // A character split between two words of one charset is whole once they are joined.
      {"=?utf-8?q?caf=C3?= =?UTF-8?q?=A9?=", std::nullopt},
      {"=?iso-8859-1?q?caf=E9?=", std::nullopt},
      {"=?utf-8?q?bad_=FF?= tail", "=?UTF-8?B?YmFkIO+/vQ==?= tail"},
      {"a =?x-unknown?q?caf=E9?= b", "a =?UTF-8?B?Y2Fm77+9?= b"},
      {"=?x-unknown?b?YXNjaWk=?=", std::nullopt},  // ASCII reads the same in any charset
      // Both words of a run go into the one replacement, the separating space with them.
      {"=?utf-8?q?a=E2=82?=\r\n =?utf-8?q?z?=", "=?UTF-8?B?Ye+/vXo=?="},
      {"=?utf-8?q?unterminated", std::nullopt},
      {"=?utf-8?x?bad_encoding?=", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rewrite_unconvertible_words(c.raw), c.rewritten) << c.raw;
  }
}

}  // namespace
}  // namespace mail::engine
