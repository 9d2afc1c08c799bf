// Raw shapes the parser would lose whole are repaired before it sees them; mail that is already
// well-formed is passed through untouched.
#include "engine/raw_message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mail::engine {
namespace {

TEST(RawMessage, RepairsOnlyWhatTheParserWouldLose) {
  struct Case {
    const char* name;
    std::string raw;
    std::string parsed;
  };
  const std::vector<Case> cases = {
      {"well formed", "From: a@b\r\nSubject: s\r\n\r\nbody\r\n",
       "From: a@b\r\nSubject: s\r\n\r\nbody\r\n"},
      {"folded header", "Subject: a\r\n b\r\n\r\nx", "Subject: a\r\n b\r\n\r\nx"},
      {"headers only", "From: a@b\r\n", "From: a@b\r\n"},
      {"empty", "", "\n"},
      {"no headers", "Hello\nthere\n", "\nHello\nthere\n"},
      {"first line looks like text", "Hello\nSubject: x\n\nbody", "\nHello\nSubject: x\n\nbody"},
      {"body runs on", "From: a@b\nSubject: s\nBody line\nmore\n",
       "From: a@b\nSubject: s\n\nBody line\nmore\n"},
      {"body runs on at the end", "From: a@b\nSubject: s\nlast", "From: a@b\nSubject: s\n\nlast"},
      // A stray line between fields is junk inside the header block, not the start of the body.
      {"junk between fields", "From: a@b\nGarbage\nMessage-ID: <x@y>\n\nbody",
       "From: a@b\nGarbage\nMessage-ID: <x@y>\n\nbody"},
      {"mbox separator", "From a@b Mon Jan  1 00:00:00 2001\nFrom: a@b\n\nbody",
       "From a@b Mon Jan  1 00:00:00 2001\nFrom: a@b\n\nbody"},
      {"obsolete space before colon", "Subject : s\n\nbody", "Subject : s\n\nbody"},
      {"CR-only line ends", "From: a@b\rSubject: s\r\rbody\r", "From: a@b\nSubject: s\n\nbody\n"},
  };
  for (const Case& c : cases) {
    const RawMessage raw(c.raw);
    EXPECT_EQ(raw.bytes(), c.parsed) << c.name;
    if (c.raw == c.parsed) {
      EXPECT_EQ(raw.bytes().data(), c.raw.data()) << c.name << ": copied";
    }
  }
}

}  // namespace
}  // namespace mail::engine
