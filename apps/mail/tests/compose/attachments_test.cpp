#include "compose/attachments.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "vexa/blobstore.h"

namespace mail::compose {
namespace {

const std::string kHash(64, 'a');

DraftAttachment record(std::string hash_digit = "a", std::uint64_t size = 10) {
  return {content_identity_for(std::string(64, hash_digit[0])), "notes.txt", "text/plain", size};
}

std::string repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

TEST(MimeTypeFor, UsesLowerCasedTextAfterLastDot) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"report.PDF", "application/pdf"},
      {"pdf", "application/pdf"},  // no dot: the whole name is the key
      {"photo.JPEG", "image/jpeg"},
      {"backup.tar.gz", "application/gzip"},
      {"slides.pptx", "application/vnd.ms-powerpoint"},
      {"invite.ics", "text/calendar"},
      {"README", "application/octet-stream"},
      {"trailing.", "application/octet-stream"},
      {"", "application/octet-stream"},
  };
  for (const auto& [name, mime] : cases) EXPECT_EQ(mime_type_for(name), mime) << name;
}

TEST(ContentIdentity, RequiresPrefixAndSixtyFourLowerHexDigits) {
  EXPECT_TRUE(is_content_identity(content_identity_for(kHash)));
  EXPECT_FALSE(is_content_identity(content_identity_for(std::string(64, 'A'))));
  EXPECT_FALSE(is_content_identity(content_identity_for(std::string(63, 'a'))));
  EXPECT_FALSE(is_content_identity(content_identity_for(std::string(65, 'a'))));
  EXPECT_FALSE(is_content_identity("mail-attachment:sha256:" + kHash));
}

TEST(DraftAttachmentValidity, ChecksEveryField) {
  struct Case {
    std::string what;
    DraftAttachment attachment;
    bool valid;
  };
  const auto with = [](auto change) {
    DraftAttachment a = record();
    change(a);
    return a;
  };
  const std::vector<Case> cases = {
      {"plain record", record(), true},
      {"upper-case hash",
       with([](auto& a) { a.content_id = content_identity_for(std::string(64, 'A')); }), false},
      {"empty file name", with([](auto& a) { a.filename = ""; }), false},
      {"slash", with([](auto& a) { a.filename = "a/b.txt"; }), false},
      {"backslash", with([](auto& a) { a.filename = "a\\b.txt"; }), false},
      {"line break", with([](auto& a) { a.filename = "a\nb.txt"; }), false},
      {"DEL", with([](auto& a) { a.filename = "a\x7f"; }), false},
      {"C1 control U+0085", with([](auto& a) { a.filename = "a\xc2\x85"; }), false},
      {"180 two-byte characters", with([](auto& a) { a.filename = repeat("é", 180); }), true},
      {"181 characters", with([](auto& a) { a.filename = repeat("é", 181); }), false},
      {"type without slash", with([](auto& a) { a.mime = "text"; }), false},
      {"type of 127 characters", with([](auto& a) { a.mime = "a/" + std::string(125, 'b'); }),
       true},
      {"type of 128 characters", with([](auto& a) { a.mime = "a/" + std::string(126, 'b'); }),
       false},
      {"size at the limit", with([](auto& a) { a.size = kMaxAttachmentBytes; }), true},
      {"size over the limit", with([](auto& a) { a.size = kMaxAttachmentBytes + 1; }), false},
  };
  for (const auto& c : cases) EXPECT_EQ(is_valid(c.attachment), c.valid) << c.what;
}

TEST(NormalizeAttachments, KeepsValidDistinctRecordsWithinLimitsInOrder) {
  DraftAttachment bad = record("c");
  bad.filename = "x/y";
  const std::vector<DraftAttachment> list = {record("b"), bad, record("a"), record("b")};
  EXPECT_EQ(normalize_attachments(list), (std::vector<DraftAttachment>{record("b"), record("a")}));
}

TEST(NormalizeAttachments, StopsAtTheTotalSizeButKeepsLaterRecordsThatFit) {
  std::vector<DraftAttachment> list;
  const std::string digits = "0123";
  for (char d : digits) list.push_back(record(std::string(1, d), kMaxAttachmentBytes));
  list.push_back(record("f", 1));  // the fifth 32 MiB would not fit, one byte more would not
  list.push_back(record("e", 0));  // but an empty one still does
  const auto kept = normalize_attachments(list);
  ASSERT_EQ(kept.size(), 5u);
  EXPECT_EQ(kept.back(), record("e", 0));
}

class AddAttachment : public ::testing::Test {
 protected:
  void fill(int count) {
    for (int i = 0; i < count; ++i) {
      ASSERT_TRUE(add_attachment(list_, record(std::string(1, "0123456789abcdef"[i]))));
    }
  }
  std::vector<DraftAttachment> list_;
};

TEST_F(AddAttachment, RefusesASeventeenth) {
  fill(16);
  const auto before = list_;
  DraftAttachment extra = record();
  extra.content_id = content_identity_for(std::string(63, 'f') + "0");
  EXPECT_FALSE(add_attachment(list_, extra));
  EXPECT_EQ(list_, before);
}

TEST_F(AddAttachment, RefusesTheSameContentAgainEvenAsAnIdenticalRecord) {
  fill(2);
  const auto before = list_;
  EXPECT_FALSE(add_attachment(list_, list_.back()));
  DraftAttachment renamed = list_.front();
  renamed.filename = "other.txt";
  EXPECT_FALSE(add_attachment(list_, renamed));
  EXPECT_EQ(list_, before);
}

TEST_F(AddAttachment, RefusesARecordThatWouldPassTheTotal) {
  for (char d : std::string("0123")) {
    ASSERT_TRUE(add_attachment(list_, record(std::string(1, d), kMaxAttachmentBytes)));
  }
  EXPECT_FALSE(add_attachment(list_, record("9", 1)));
  EXPECT_EQ(list_.size(), 4u);
  EXPECT_FALSE(add_attachment(list_, DraftAttachment{"bogus", "a.txt", "text/plain", 1}));
}

TEST(StagedName, TakesLastComponentCutAndTrimmed) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"C:\\Users\\me\\Documents\\report.PDF", "report.PDF"},
      {"/home/me/notes.txt", "notes.txt"},
      {"   ", "attachment"},
      {"folder/", "attachment"},
      {"a/..", "attachment"},
      {".", "attachment"},
      {"  padded.txt  ", "padded.txt"},
      {repeat("é", 200), repeat("é", 180)},
      {std::string(179, 'x') + "  y", std::string(179, 'x')},  // cut first, then trimmed
  };
  for (const auto& [picked, staged] : cases) EXPECT_EQ(staged_name(picked), staged) << picked;
}

TEST(SuggestedSaveName, DropsControlsAndCutsOnCharacterBoundaries) {
  const std::string name = "dir\\" + std::string("a\x01\x1b\xc2\x9f") + repeat("é", 150);
  const std::string suggested = suggested_save_name(name);
  EXPECT_EQ(suggested, "a" + repeat("é", 119));  // 1 + 238 bytes; one more "é" would make 241
  EXPECT_EQ(suggested_save_name(repeat("x", 300)), repeat("x", 240));
  EXPECT_EQ(suggested_save_name("a/.."), "attachment");
  EXPECT_EQ(suggested_save_name("\x01\x02"), "attachment");
  EXPECT_EQ(suggested_save_name("  report.pdf "), "report.pdf");
}

class LoadForSending : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("mail-attachments-test-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root_);
    vexa::blobstore::set_root(root_);
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  DraftAttachment stage(const std::vector<std::uint8_t>& bytes) {
    auto hash = vexa::blobstore::put(bytes);
    EXPECT_TRUE(hash.has_value());
    return {content_identity_for(hash.value_or("")), "data.bin", "application/octet-stream",
            bytes.size()};
  }

  std::filesystem::path root_;
};

TEST_F(LoadForSending, ReturnsTheStoredBytes) {
  const std::vector<std::uint8_t> bytes = {1, 2, 3, 4};
  EXPECT_EQ(load_for_sending(stage(bytes)), bytes);
}

TEST_F(LoadForSending, ReportsEachFailureWithItsText) {
  const std::vector<std::uint8_t> bytes = {9, 8, 7};
  DraftAttachment invalid = stage(bytes);
  invalid.filename = "a/b";
  DraftAttachment missing = record("d", 3);
  missing.filename = "gone.txt";
  DraftAttachment wrong_size = stage(bytes);
  wrong_size.size = 4;

  EXPECT_EQ(load_for_sending(invalid).error(), "attachment a/b has invalid metadata");
  EXPECT_EQ(load_for_sending(missing).error(),
            "attachment gone.txt is not available on this device yet");
  EXPECT_EQ(load_for_sending(wrong_size).error(),
            "attachment data.bin failed integrity validation");
}

TEST_F(LoadForSending, NeverReturnsAlteredContent) {
  const std::vector<std::uint8_t> bytes = {5, 6, 7};
  const DraftAttachment staged = stage(bytes);
  const std::string hash = staged.content_id.substr(kContentIdPrefix.size());
  std::ofstream(root_ / hash.substr(0, 2) / hash, std::ios::binary | std::ios::trunc) << "xyz";
  const auto loaded = load_for_sending(staged);
  ASSERT_FALSE(loaded.has_value());
  EXPECT_TRUE(loaded.error().starts_with("attachment data.bin ")) << loaded.error();
}

}  // namespace
}  // namespace mail::compose
