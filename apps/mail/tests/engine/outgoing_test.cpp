#include "engine/outgoing.h"

#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "compose/attachments.h"
#include "vexa/blobstore.h"

namespace mail::engine {
namespace {

// Reads assembled bytes back the way a receiving client would.
class Parsed {
 public:
  explicit Parsed(const std::string& bytes) {
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    message_ = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    g_object_unref(stream);
  }
  ~Parsed() {
    if (message_) g_object_unref(message_);
  }
  GMimeMessage* get() const { return message_; }

  std::optional<std::string> header(const char* name) const {
    const char* value = g_mime_object_get_header(GMIME_OBJECT(message_), name);
    return value ? std::optional<std::string>(value) : std::nullopt;
  }
  std::string addresses(GMimeAddressType type) const {
    InternetAddressList* list = g_mime_message_get_addresses(message_, type);
    std::string out;
    for (int i = 0; i < internet_address_list_length(list); ++i) {
      InternetAddress* address = internet_address_list_get_address(list, i);
      if (!out.empty()) out += " | ";
      const char* name = internet_address_get_name(address);
      if (name && *name) out += std::string(name) + " ";
      out += internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
    }
    return out;
  }
  // "multipart/mixed[text/plain,application/pdf]"
  std::string structure() const { return describe(g_mime_message_get_mime_part(message_)); }
  // Decoded content of the n-th leaf part in tree order.
  std::string leaf(std::size_t n) const {
    std::vector<GMimeObject*> leaves;
    collect(g_mime_message_get_mime_part(message_), leaves);
    if (n >= leaves.size()) return "<missing>";
    GMimeStream* out = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(GMIME_PART(leaves[n])), out);
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out));
    std::string text(reinterpret_cast<const char*>(bytes->data), bytes->len);
    g_object_unref(out);
    return text;
  }
  GMimeObject* leaf_object(std::size_t n) const {
    std::vector<GMimeObject*> leaves;
    collect(g_mime_message_get_mime_part(message_), leaves);
    return n < leaves.size() ? leaves[n] : nullptr;
  }

 private:
  static std::string describe(GMimeObject* object) {
    GMimeContentType* type = g_mime_object_get_content_type(object);
    std::string out = std::string(g_mime_content_type_get_media_type(type)) + "/" +
                      g_mime_content_type_get_media_subtype(type);
    if (GMIME_IS_MULTIPART(object)) {
      out += "[";
      for (int i = 0; i < g_mime_multipart_get_count(GMIME_MULTIPART(object)); ++i) {
        if (i) out += ",";
        out += describe(g_mime_multipart_get_part(GMIME_MULTIPART(object), i));
      }
      out += "]";
    }
    return out;
  }
  static void collect(GMimeObject* object, std::vector<GMimeObject*>& leaves) {
    if (GMIME_IS_MULTIPART(object)) {
      for (int i = 0; i < g_mime_multipart_get_count(GMIME_MULTIPART(object)); ++i) {
        collect(g_mime_multipart_get_part(GMIME_MULTIPART(object), i), leaves);
      }
    } else {
      leaves.push_back(object);
    }
  }
  GMimeMessage* message_ = nullptr;
};

class OutgoingTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_mime_init();
    char pattern[] = "/tmp/mail-outgoing-blobs-XXXXXX";
    blobs_ = ::mkdtemp(pattern);
    vexa::blobstore::set_root(blobs_);
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(blobs_); }

  static DraftAttachment staged(const std::string& name, const std::string& mime,
                                const std::string& content) {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(content.data()),
                                              content.size());
    auto hash = vexa::blobstore::put(bytes);
    EXPECT_TRUE(hash) << hash.error();
    return DraftAttachment{.content_id = compose::content_identity_for(*hash),
                           .filename = name,
                           .mime = mime,
                           .size = content.size()};
  }

  StoredConfig account_{.display_name = "Ann Exämple", .email = "ann@example.com"};
  static inline std::filesystem::path blobs_;
};

TEST_F(OutgoingTest, StructureFollowsTheDraft) {
  const std::string pdf("%PDF-1.4\0\x01\xff binary", 18);
  struct Case {
    const char* name;
    DraftData draft;
    std::string structure;
    std::size_t body_parts;  // leading leaves that are text/html bodies
    std::vector<std::string> leaves;
  };
  const std::vector<Case> cases = {
      {"plain",
       DraftData{.to = "bo@example.com", .body = "Hello\nthere"},
       "text/plain",
       1,
       {"Hello\nthere"}},
      {"html",
       DraftData{.to = "bo@example.com", .body = "Hi", .html_body = "<p>Hi</p>"},
       "multipart/alternative[text/plain,text/html]",
       2,
       {"Hi", "<p>Hi</p>"}},
      {"attachment",
       DraftData{.to = "bo@example.com",
                 .body = "See file",
                 .attachments = {staged("report.pdf", "application/pdf", pdf)}},
       "multipart/mixed[text/plain,application/pdf]",
       1,
       {"See file", pdf}},
      {"everything",
       DraftData{.to = "bo@example.com",
                 .body = "Hi",
                 .html_body = "<b>Hi</b>",
                 .calendar_ics = "BEGIN:VCALENDAR\r\nMETHOD:REQUEST\r\nEND:VCALENDAR\r\n",
                 .attachments = {staged("a.txt", "text/plain", "first"),
                                 staged("b.png", "image/png", "second")}},
       "multipart/mixed[multipart/alternative[text/plain,text/html],text/plain,image/png,"
       "text/calendar]",
       2,
       {"Hi", "<b>Hi</b>", "first", "second",
        "BEGIN:VCALENDAR\r\nMETHOD:REQUEST\r\nEND:VCALENDAR\r\n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto bytes = assemble_outgoing(account_, c.draft);
    ASSERT_TRUE(bytes) << bytes.error();
    Parsed parsed(*bytes);
    ASSERT_NE(parsed.get(), nullptr);
    EXPECT_EQ(parsed.structure(), c.structure);
    for (std::size_t i = 0; i < c.leaves.size(); ++i) {
      std::string leaf = parsed.leaf(i);
      // Bodies travel as CRLF lines ending in a line break; attachments byte for byte.
      if (i < c.body_parts) {
        for (auto at = leaf.find("\r\n"); at != std::string::npos; at = leaf.find("\r\n")) {
          leaf.erase(at, 1);
        }
        if (leaf.ends_with('\n')) leaf.pop_back();
      }
      EXPECT_EQ(leaf, c.leaves[i]) << i;
    }
  }
}

TEST_F(OutgoingTest, TextPartsAreUtf8QuotedPrintable) {
  // "é" fits ISO-8859-1; the part must still say utf-8 and carry the UTF-8 bytes.
  auto bytes = assemble_outgoing(
      account_, DraftData{.to = "b@example.com", .body = "café ☕", .html_body = "<p>café</p>"});
  ASSERT_TRUE(bytes) << bytes.error();
  Parsed parsed(*bytes);
  for (std::size_t i = 0; i < 2; ++i) {
    GMimeObject* part = parsed.leaf_object(i);
    ASSERT_NE(part, nullptr);
    EXPECT_STREQ(g_mime_object_get_content_type_parameter(part, "charset"), "utf-8");
    EXPECT_EQ(g_mime_part_get_content_encoding(GMIME_PART(part)),
              GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
  }
  EXPECT_TRUE(parsed.leaf(0).starts_with("café ☕")) << parsed.leaf(0);
  EXPECT_NE(bytes->find("caf=C3=A9"), std::string::npos);
}

TEST_F(OutgoingTest, HeadersCarryFromToCcSubjectButNeverBcc) {
  DraftData draft{.to = "\"Bo Builder\" <bo@example.com>; cy@example.com, \"Quote, not mail",
                  .cc = "Dee <dee@example.com>",
                  .bcc = "hidden@example.com, Secret <secret@example.com>",
                  .subject = "Grüße, team",
                  .body = "x"};
  auto bytes = assemble_outgoing(account_, draft);
  ASSERT_TRUE(bytes) << bytes.error();
  Parsed parsed(*bytes);
  EXPECT_EQ(parsed.addresses(GMIME_ADDRESS_TYPE_FROM), "Ann Exämple ann@example.com");
  EXPECT_EQ(parsed.addresses(GMIME_ADDRESS_TYPE_TO), "Bo Builder bo@example.com | cy@example.com");
  EXPECT_EQ(bytes->find("Quote"), std::string::npos);  // not an address: not in the header
  EXPECT_EQ(parsed.addresses(GMIME_ADDRESS_TYPE_CC), "Dee dee@example.com");
  EXPECT_STREQ(g_mime_message_get_subject(parsed.get()), "Grüße, team");
  EXPECT_EQ(parsed.header("Bcc"), std::nullopt);
  EXPECT_EQ(bytes->find("hidden@"), std::string::npos);
  EXPECT_EQ(bytes->find("secret@"), std::string::npos);
}

TEST_F(OutgoingTest, EmptyFieldsGiveNoHeaderAndNameFallsBackToAddress) {
  StoredConfig nameless{.email = "ann@example.com"};
  auto bytes = assemble_outgoing(nameless, DraftData{.to = "b@example.com", .body = "x"});
  ASSERT_TRUE(bytes) << bytes.error();
  Parsed parsed(*bytes);
  EXPECT_EQ(parsed.addresses(GMIME_ADDRESS_TYPE_FROM), "ann@example.com ann@example.com");
  EXPECT_EQ(parsed.header("Cc"), std::nullopt);
  EXPECT_EQ(bytes->find("\r\nCc:"), std::string::npos);
  EXPECT_EQ(bytes->find("\r\nBcc:"), std::string::npos);
}

TEST_F(OutgoingTest, LineBreaksInHeaderFieldsCannotAddHeaders) {
  DraftData draft{.to = "b@example.com", .subject = "Hi\r\nBcc: spy@example.com", .body = "x"};
  auto bytes = assemble_outgoing(account_, draft);
  ASSERT_TRUE(bytes) << bytes.error();
  Parsed parsed(*bytes);
  EXPECT_EQ(parsed.header("Bcc"), std::nullopt);
  EXPECT_EQ(bytes->find("\r\nBcc:"), std::string::npos);
}

TEST_F(OutgoingTest, DateAndFreshMessageIdInSenderDomainWithCrlfLines) {
  const DraftData draft{.to = "b@example.com", .body = "one\ntwo\n\nthree"};
  auto first = assemble_outgoing(account_, draft);
  auto second = assemble_outgoing(account_, draft);
  ASSERT_TRUE(first && second);
  Parsed a(*first), b(*second);
  EXPECT_NE(a.header("Date"), std::nullopt);
  EXPECT_NE(g_mime_message_get_date(a.get()), nullptr);
  const std::string id = g_mime_message_get_message_id(a.get());
  EXPECT_EQ(id.size(), 36 + std::string("@example.com").size()) << id;
  EXPECT_TRUE(id.ends_with("@example.com")) << id;
  EXPECT_NE(id, g_mime_message_get_message_id(b.get()));
  EXPECT_EQ(a.header("MIME-Version"), "1.0");

  for (std::size_t at = first->find('\n'); at != std::string::npos;
       at = first->find('\n', at + 1)) {
    ASSERT_TRUE(at > 0 && (*first)[at - 1] == '\r') << "bare LF at " << at;
  }
}

TEST_F(OutgoingTest, AttachmentThatCannotBeLoadedFailsWithItsText) {
  const std::string missing_hash(64, 'a');
  DraftData draft{.to = "b@example.com",
                  .body = "x",
                  .attachments = {DraftAttachment{.content_id = compose::content_identity_for(missing_hash),
                                                  .filename = "gone.pdf",
                                                  .mime = "application/pdf",
                                                  .size = 3}}};
  auto bytes = assemble_outgoing(account_, draft);
  ASSERT_FALSE(bytes);
  EXPECT_EQ(bytes.error(), "attachment gone.pdf is not available on this device yet");

  auto tampered = staged("t.txt", "text/plain", "abc");
  tampered.size = 4;
  bytes = assemble_outgoing(account_, DraftData{.to = "b@example.com", .attachments = {tampered}});
  ASSERT_FALSE(bytes);
  EXPECT_EQ(bytes.error(), "attachment t.txt failed integrity validation");
}

TEST_F(OutgoingTest, InvitationIsARequestNamedInvitationIcs) {
  auto bytes = assemble_outgoing(
      account_, DraftData{.to = "b@example.com", .body = "x", .calendar_ics = "BEGIN:VCALENDAR"});
  ASSERT_TRUE(bytes) << bytes.error();
  Parsed parsed(*bytes);
  GMimeObject* invitation = parsed.leaf_object(1);
  ASSERT_NE(invitation, nullptr);
  EXPECT_STREQ(g_mime_object_get_content_type_parameter(invitation, "method"), "REQUEST");
  EXPECT_STREQ(g_mime_part_get_filename(GMIME_PART(invitation)), "invitation.ics");
}

}  // namespace
}  // namespace mail::engine
