#include "engine/mime_message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mail::engine {
namespace {

constexpr std::int64_t kNow = 1'700'000'000;

MailMessage build(const std::string& raw, std::optional<std::int64_t> internal = std::nullopt) {
  return build_mail_message(raw, FolderRole::Inbox, false, false, internal, kNow);
}

TEST(BuildMailMessage, PlainMessageFillsEveryHeaderField) {
  const std::string raw =
      "From: Ana Lima <ana@example.com>\r\n"
      "To: Ben Ortiz <ben@example.org>, carla@example.net\r\n"
      "Cc: \"Dev Team\" <dev@example.com>\r\n"
      "Subject: Quarterly numbers\r\n"
      "Message-ID: <q1@example.com>\r\n"
      "Date: Tue, 14 Nov 2023 22:13:20 +0000\r\n"
      "Content-Type: text/plain; charset=utf-8\r\n"
      "\r\n"
      "Hi Ben,\r\nthe numbers are in.\r\n";
  const std::optional<MailMessage> m =
      build_mail_message(raw, FolderRole::Archive, true, true, std::nullopt, 0);
  EXPECT_EQ(m->from, (MailAddress{"ana@example.com", "Ana Lima"}));
  EXPECT_EQ(m->to, (std::vector<MailAddress>{{"ben@example.org", "Ben Ortiz"},
                                             {"carla@example.net", std::nullopt}}));
  EXPECT_EQ(m->cc, (std::vector<MailAddress>{{"dev@example.com", "Dev Team"}}));
  EXPECT_EQ(m->subject, "Quarterly numbers");
  EXPECT_EQ(m->body_text, "Hi Ben,\nthe numbers are in.\n");
  EXPECT_EQ(m->message_id, "q1@example.com");
  EXPECT_EQ(m->id, message_id_from_header("q1@example.com"));
  EXPECT_FALSE(m->html);
  EXPECT_FALSE(m->thread_key);
  EXPECT_TRUE(m->attachments.empty());
  EXPECT_TRUE(m->labels.empty());
  EXPECT_EQ(m->time, 1'700'000'000 / 60);
  EXPECT_TRUE(m->seen);
  EXPECT_TRUE(m->starred);
  EXPECT_EQ(m->folder, FolderRole::Archive);
}

struct BodyCase {
  const char* name;
  std::string raw;
  std::string body_text;
  std::optional<std::string> html;
  std::size_t attachments;
};

void PrintTo(const BodyCase& c, std::ostream* os) { *os << c.name; }

class Bodies : public ::testing::TestWithParam<BodyCase> {};

TEST_P(Bodies, PicksTextHtmlAndAttachments) {
  const BodyCase& c = GetParam();
  MailMessage m = build(c.raw);
  EXPECT_EQ(m.body_text, c.body_text);
  EXPECT_EQ(m.html, c.html);
  EXPECT_EQ(m.attachments.size(), c.attachments);
}

const std::string kAlternative =
    "From: a@example.com\nSubject: alt\nMIME-Version: 1.0\n"
    "Content-Type: multipart/alternative; boundary=\"b1\"\n\n"
    "--b1\nContent-Type: text/plain; charset=utf-8\n\nPlain form\n"
    "--b1\nContent-Type: text/html; charset=utf-8\n\n<p>HTML form</p>\n"
    "--b1--\n";

const std::string kMixedWithAlternative =
    "From: a@example.com\nSubject: mixed\nMIME-Version: 1.0\n"
    "Content-Type: multipart/mixed; boundary=\"m\"\n\n"
    "--m\nContent-Type: multipart/alternative; boundary=\"a\"\n\n"
    "--a\nContent-Type: text/html\n\n<b>only html</b>\n--a--\n"
    "--m\nContent-Type: text/calendar; method=REQUEST; name=\"invite.ics\"\n\n"
    "BEGIN:VCALENDAR\nMETHOD:REQUEST\nEND:VCALENDAR\n"
    "--m\nContent-Type: image/png\nContent-Disposition: attachment\n"
    "Content-Transfer-Encoding: base64\n\niVBORw0KGgo=\n"
    "--m--\n";

INSTANTIATE_TEST_SUITE_P(
    Mime, Bodies,
    ::testing::Values(
        BodyCase{"html_only",
                 "From: a@example.com\nContent-Type: text/html; charset=utf-8\n\n"
                 "<html><head><title>T</title><style>p{color:red}</style></head><body>"
                 "<p>Hello&nbsp;world</p><p>Second <b>para</b></p><script>x()</script>"
                 "</body></html>\n",
                 "Hello world\n\nSecond para",
                 "<html><head><title>T</title><style>p{color:red}</style></head><body>"
                 "<p>Hello&nbsp;world</p><p>Second <b>para</b></p><script>x()</script>"
                 "</body></html>\n",
                 0},
        BodyCase{"alternative", kAlternative, "Plain form", "<p>HTML form</p>", 0},
        BodyCase{"alternative_html_only_in_mixed", kMixedWithAlternative, "only html",
                 "<b>only html</b>", 2},
        BodyCase{"whitespace_only_html_is_absent",
                 "From: a@example.com\nContent-Type: text/html\n\n   \n\n", "", std::nullopt, 0},
        BodyCase{"latin1_body_is_utf8",
                 "From: a@example.com\nContent-Type: text/plain; charset=iso-8859-1\n"
                 "Content-Transfer-Encoding: quoted-printable\n\nCaf=E9 cr=E8me\n",
                 "Caf\u00e9 cr\u00e8me\n", std::nullopt, 0},
        BodyCase{"attachment_disposition_text_is_not_body",
                 "From: a@example.com\nContent-Type: text/plain\n"
                 "Content-Disposition: attachment; filename=notes.txt\n\nnotes\n",
                 "", std::nullopt, 1},
        BodyCase{"forwarded_message_is_an_attachment",
                 "From: a@example.com\nMIME-Version: 1.0\n"
                 "Content-Type: multipart/mixed; boundary=f\n\n"
                 "--f\nContent-Type: text/plain\n\nsee below\n"
                 "--f\nContent-Type: message/rfc822\n\n"
                 "From: b@example.org\nSubject: inner\n\ninner body\n--f--\n",
                 "see below", std::nullopt, 1},
        BodyCase{"named_text_after_body_is_attachment",
                 "From: a@example.com\nMIME-Version: 1.0\n"
                 "Content-Type: multipart/mixed; boundary=x\n\n"
                 "--x\nContent-Type: text/plain\n\nbody\n"
                 "--x\nContent-Type: text/plain; name=log.txt\n\nlog line\n--x--\n",
                 "body", std::nullopt, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BuildMailMessage, AttachmentsAreDecodedAndTyped) {
  const std::string raw =
      "From: a@example.com\nSubject: files\nMIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=\"m\"\n\n"
      "--m\nContent-Type: text/plain\n\nSee attached.\n"
      "--m\nContent-Type: application/pdf; name=\"=?UTF-8?Q?Re=C3=A7u.pdf?=\"\n"
      "Content-Disposition: attachment\nContent-Transfer-Encoding: base64\n\n"
      "JVBERi0xLjQK\n"
      "--m\nContent-Type: application/octet-stream\nContent-Disposition: attachment\n\n"
      "--m--\n";
  MailMessage m = build(raw);
  EXPECT_EQ(m.body_text, "See attached.");
  ASSERT_EQ(m.attachments.size(), 2u);
  const MessageAttachment& pdf = m.attachments[0];
  EXPECT_EQ(pdf.filename, "Re\u00e7u.pdf");
  EXPECT_EQ(pdf.mime, "application/pdf");
  EXPECT_EQ(std::string(pdf.content.begin(), pdf.content.end()), "%PDF-1.4\n");
  EXPECT_EQ(pdf.size, 9u);
  EXPECT_TRUE(pdf.downloaded);
  EXPECT_FALSE(pdf.text);
  const MessageAttachment& unnamed = m.attachments[1];
  EXPECT_EQ(unnamed.filename, "attachment.bin");
  EXPECT_EQ(unnamed.mime, "application/octet-stream");
  EXPECT_EQ(unnamed.size, 0u);
  EXPECT_FALSE(unnamed.downloaded);
}

TEST(BuildMailMessage, EncodedWordsAndGroupsAreDecoded) {
  const std::string raw =
      "From: =?ISO-8859-1?Q?Jos=E9_Mart=EDn?= <jose@example.com>\n"
      "To: Team: x@example.com, \"Y\" <y@example.com>;, z@example.org\n"
      "Subject: =?UTF-8?B?8J+TliBSZWFkaW5nIGxpc3Q=?= for =?UTF-8?Q?M=C3=A4rz?=\n\nbody\n";
  MailMessage m = build(raw);
  EXPECT_EQ(m.from, (MailAddress{"jose@example.com", "Jos\u00e9 Mart\u00edn"}));
  EXPECT_EQ(m.subject, "\U0001F4D6 Reading list for M\u00e4rz");
  EXPECT_EQ(m.to, (std::vector<MailAddress>{{"x@example.com", std::nullopt},
                                            {"y@example.com", "Y"},
                                            {"z@example.org", std::nullopt}}));
}

TEST(BuildMailMessage, MissingFromAndSubjectGetPlaceholders) {
  MailMessage m = build("To: b@example.com\n\nbody\n");
  EXPECT_EQ(m.from, (MailAddress{"unknown@unknown", std::nullopt}));
  EXPECT_EQ(m.subject, "(no subject)");
}

TEST(BuildMailMessage, IdentityFollowsMessageIdHeader) {
  const auto id_of = [](const std::string& header) {
    return build("From: a@example.com\nMessage-ID:" + header + "\n\nx\n").id;
  };
  const MessageId expected = message_id_from_header("same@example.com");
  for (const char* header : {" <same@example.com>", "   <same@example.com>  ", " same@example.com",
                             " <<same@example.com>>"}) {
    EXPECT_EQ(id_of(header), expected) << header;
  }
  // Without a usable identifier the identity comes from the content: the same on every fetch
  // and whatever the server does to line ends, different for different content, and "<>" must
  // not make all such messages collide.
  const std::string undated = "From: a@example.com\nSubject: s\n\nbody\n";
  const MessageId fallback = build(undated).id;
  EXPECT_EQ(build(undated).id, fallback);
  EXPECT_EQ(build("From: a@example.com\r\nSubject: s\r\n\r\nbody\r\n").id, fallback);
  EXPECT_EQ(build("From: a@example.com\nMessage-ID: <>\nSubject: s\n\nbody\n").id, fallback);
  EXPECT_FALSE(build(undated).message_id);
  for (const char* other :
       {"From: b@example.com\nSubject: s\n\nbody\n", "From: a@example.com\nSubject: t\n\nbody\n",
        "From: a@example.com\nSubject: s\n\nbodY\n",
        "From: a@example.com\nTo: c@example.com\nSubject: s\n\nbody\n",
        "From: a@example.com\nDate: Thu, 01 Jan 1970 00:02:59 +0000\nSubject: s\n\nbody\n"}) {
    EXPECT_NE(build(other).id, fallback) << other;
  }
  // Only the first 4 KB of the body count, so a long message is hashed in bounded time.
  const std::string head = "From: a@example.com\n\n" + std::string(4096, 'x');
  EXPECT_EQ(build(head + "tail one").id, build(head + "tail two").id);
}

TEST(BuildMailMessage, ThreadKeyPrefersFirstReferenceThenLastInReplyTo) {
  struct Case {
    std::string headers;
    std::optional<std::string> key;
  };
  const std::vector<Case> cases = {
      {"References: <root@x> <mid@x>\nIn-Reply-To: <mid@x>\n", "root@x"},
      {"In-Reply-To: <p1@x> <p2@x>\n", "p2@x"},
      {"References: \nIn-Reply-To: <p1@x>\n", "p1@x"},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    MailMessage m = build("From: a@example.com\n" + c.headers + "\nx\n");
    EXPECT_EQ(m.thread_key, c.key) << c.headers;
  }
}

TEST(BuildMailMessage, TimeIsInternalDateThenDateHeaderThenNowInMinutes) {
  const std::string dated = "From: a@example.com\nDate: Thu, 01 Jan 1970 00:02:59 +0000\n\nx\n";
  const std::string undated = "From: a@example.com\n\nx\n";
  struct Case {
    const std::string* raw;
    std::optional<std::int64_t> internal;
    std::int64_t minutes;
  };
  const std::vector<Case> cases = {
      {&dated, 600, 10},   {&dated, std::nullopt, 2}, {&undated, std::nullopt, kNow / 60},
      {&undated, -90, -1},  // toward zero, not floor
      {&undated, -59, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(build(*c.raw, c.internal).time, c.minutes)
        << *c.raw << " internal=" << c.internal.value_or(0);
  }
}

TEST(BuildMailMessage, AnyBytesMakeAMessageWithTheirTextAsBody) {
  struct Case {
    std::string raw;
    std::string body_text;
  };
  const std::vector<Case> cases = {
      {"", ""},
      {"no headers here\n\nbody", "no headers here\n\nbody"},
      {std::string("\x01\x02\xff\xfe", 4), "\x01\x02\uFFFD\uFFFD"},
      {"Hello\nSubject: not a header once the text has begun\n\nbody",
       "Hello\nSubject: not a header once the text has begun\n\nbody"},
  };
  for (const Case& c : cases) {
    const MailMessage m = build(c.raw);
    EXPECT_EQ(m.body_text, c.body_text) << c.raw;
    EXPECT_EQ(m.subject, "(no subject)") << c.raw;
    EXPECT_EQ(m.from, (MailAddress{"unknown@unknown", std::nullopt})) << c.raw;
    EXPECT_EQ(m.time, kNow / 60) << c.raw;
  }
}

TEST(BuildMailMessage, SurvivesHostileStructure) {
  std::string deep = "From: a@example.com\nSubject: deep\nMIME-Version: 1.0\n";
  constexpr int kLevels = 3000;
  for (int i = 0; i < kLevels; ++i) {
    deep += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(i) + "\"\n\n--b" +
            std::to_string(i) + "\n";
  }
  deep += "Content-Type: text/plain\n\nbottom\n";
  for (int i = kLevels - 1; i >= 0; --i) deep += "--b" + std::to_string(i) + "--\n";
  MailMessage m = build(deep);
  EXPECT_EQ(m.subject, "deep");
  EXPECT_EQ(m.body_text, kNestedTooDeeply);

  std::string huge = "From: a@example.com\nSubject: " + std::string(1 << 20, 'S') + "\n" +
                     "X-Long: " + std::string(1 << 20, 'x') + "\n\n\xff\xfe broken utf-8\n";
  MailMessage h = build(huge);
  EXPECT_EQ(h.subject.size(), 1u << 20);
  EXPECT_EQ(h.body_text, "\uFFFD\uFFFD broken utf-8\n");
}

}  // namespace
}  // namespace mail::engine
