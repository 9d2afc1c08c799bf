// Every message of tests/mime_corpus must give exactly its recorded MailMessage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/mime_message.h"
#include "mail_record_json.h"

namespace mail::engine {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr std::int64_t kNow = 1'700'000'000;

fs::path corpus_dir() {
  const char* source = std::getenv("VEXA_SOURCE_DIR");
  return fs::path(source ? source : ".") / "tests" / "mime_corpus";
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The recorded JSON with the fields it may leave out filled in.
json expected_record(json e) {
  const auto fill = [&](const char* key, json value) {
    if (!e.contains(key)) e[key] = std::move(value);
  };
  fill("to", json::array());
  fill("cc", json::array());
  fill("attachments", json::array());
  fill("html", nullptr);
  fill("message_id", nullptr);
  fill("thread_key", nullptr);
  fill("seen", false);
  fill("starred", false);
  fill("folder", "inbox");
  fill("time", kNow / 60);
  if (!e.contains("id") && e["message_id"].is_string()) {
    e["id"] = uuid_text(message_id_from_header(e["message_id"].get<std::string>()));
  }
  return e;
}

TEST(MimeCorpus, EveryMessageGivesItsRecord) {
  std::vector<fs::path> messages;
  for (const auto& entry : fs::directory_iterator(corpus_dir())) {
    if (entry.path().extension() == ".eml") messages.push_back(entry.path());
  }
  std::ranges::sort(messages);
  ASSERT_FALSE(messages.empty()) << corpus_dir();
  for (const fs::path& eml : messages) {
    SCOPED_TRACE(eml.filename().string());
    const MailMessage built =
        build_mail_message(read_file(eml), FolderRole::Inbox, false, false, std::nullopt, kNow);
    const json actual = vexa::testing::record_json(built, false);
    fs::path record = eml;
    record.replace_extension(".json");
    if (!fs::exists(record)) {
      ADD_FAILURE() << "no record; built:\n" << actual.dump(2);
      continue;
    }
    const json expected = expected_record(json::parse(read_file(record)));
    for (const auto& [key, value] : actual.items()) {
      EXPECT_EQ(value, expected.value(key, json())) << key << " built:\n" << value.dump(2);
    }
    for (const auto& [key, value] : expected.items()) {
      EXPECT_TRUE(actual.contains(key)) << "unknown field " << key;
    }
  }
}

}  // namespace
}  // namespace mail::engine
