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
