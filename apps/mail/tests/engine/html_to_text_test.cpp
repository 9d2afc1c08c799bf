#include "engine/html_to_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mail::engine {
namespace {

TEST(HtmlToText, ConvertsTheWayAReaderExpects) {
  struct Case {
    std::string html;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"<p>One</p><p>Two</p>", "One\n\nTwo"},
      {"<div>a</div><div>b</div>", "a\nb"},
      {"line<br>next<br><br>after", "line\nnext\n\nafter"},
      {"  lots   of\n\n  space  ", "lots of space"},
      {"a&nbsp;&nbsp;b\u00a0c", "a b c"},
      {"<ul><li>x</li><li>y</li></ul>", "\u2022 x\n\u2022 y"},
      {"<pre>  keep\n    this</pre>", "  keep\n    this"},
      {"<head><title>no</title><style>.a{}</style></head><script>no()</script>yes", "yes"},
      {"<table><tr><td>k</td><td>v</td></tr><tr><td>k2</td><td>v2</td></tr></table>", "k v\nk2 v2"},
      {"Caf\u00e9 &amp; &lt;cr\u00e8me&gt;", "Caf\u00e9 & <cr\u00e8me>"},
      {"", ""},
      // Character references: numeric in both bases, the Windows-1252 range, what is no
      // character, names with and without ';', and ampersands that are only ampersands.
      {"&#233;&#xE9;&#X1F600; &#150; &#0;&#xD800;", "\u00e9\u00e9\U0001F600 \u2013 \uFFFD\uFFFD"},
      {"&eacute; &apos;q&apos; &copy 2026 &hellip;", "\u00e9 'q' \u00a9 2026 \u2026"},
      {"AT&T &nosuch; & a&#; &#x;", "AT&T &nosuch; & a&#; &#x;"},
      // Markup that holds text which is not shown.
      {"a<!-- <p>hidden</p> -->b<!---->c<!-->d", "abcd"},
      {"<!DOCTYPE html><?xml version=\"1.0\"?><![CDATA[x]]>text", "text"},
      {"<a href=\"x>y\" title='p>q'>link</a>", "link"},
      {"<SCRIPT>if (a</b) document.write('<p>x</p>')</SCRIPT>after", "after"},
      {"<style>p{}</style><STYLE type=x>q{}</style >shown", "shown"},
      {"<template><p>later</p><template>x</template></template>now", "now"},
      {"<title>T &amp; U</title>body", "body"},
      // Text that only looks like markup stays text.
      {"a < b and 3<4, I <3 you", "a < b and 3<4, I <3 you"},
      {"unclosed <!-- comment", "unclosed"},
      {"<P>Upper</P><DIV>Case</DIV>", "Upper\n\nCase"},
      {"<pre>\nfirst</pre>", "first"},
      {"<textarea>&lt;raw&gt; <b>text</b></textarea>", "<raw> <b>text</b>"},
      {"<p>one<p>two", "one\n\ntwo"},
  };
  for (const Case& c : cases) EXPECT_EQ(html_to_text(c.html), c.text) << c.html;
}

TEST(HtmlToText, AlwaysYieldsValidUtf8) {
  const std::string text = html_to_text("<p>bad \xff\xfe bytes \xc3</p>");
  EXPECT_NE(text.find("bytes"), std::string::npos);
  std::string_view rest = text;
  // Every lead byte must be followed by the right number of continuation bytes.
  for (std::size_t i = 0; i < rest.size();) {
    unsigned char c = static_cast<unsigned char>(rest[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    ASSERT_NE(n, 0u) << "at " << i;
    ASSERT_LE(i + n, rest.size());
    for (std::size_t k = 1; k < n; ++k) ASSERT_EQ(static_cast<unsigned char>(rest[i + k]) >> 6, 2);
    i += n;
  }
}

TEST(HtmlToText, DeepNestingDoesNotExhaustTheStack) {
  const auto nested = [](int levels) {
    std::string html;
    for (int i = 0; i < levels; ++i) html += "<span>";
    return html + "deep";
  };
  EXPECT_EQ(html_to_text(nested(200)), "deep");
  // Far past the parser's own nesting limit: the text may be lost, the process must not be.
  html_to_text(nested(200000));
}

}  // namespace
}  // namespace mail::engine
