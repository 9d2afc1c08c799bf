#include <gtest/gtest.h>

#include "test_support.h"
#include "vexa/accounts/accounts.h"

namespace vexa::accounts {
namespace {

using testing::ScopedEnv;
using Json = nlohmann::json;

const AccountTypeId kEmail = AccountTypeId::from("email");

AccountRecord record(std::string id, std::string type, std::string label, Json settings,
                     bool enabled, bool avatar_seed) {
  return AccountRecord{AccountId{std::move(id)},
                       AccountTypeId{std::move(type)},
                       std::move(label),
                       std::move(settings),
                       enabled,
                       avatar_seed};
}

void expect_same(const std::vector<AccountRecord>& got, const std::vector<AccountRecord>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(got[i].id, want[i].id);
    EXPECT_EQ(got[i].type, want[i].type);
    EXPECT_EQ(got[i].label, want[i].label);
    EXPECT_EQ(got[i].settings, want[i].settings);
    EXPECT_EQ(got[i].enabled, want[i].enabled);
    EXPECT_EQ(got[i].avatar_seed, want[i].avatar_seed);
  }
}

class AccountStoreTest : public testing::TempDirTest {};

TEST_F(AccountStoreTest, RoundTripsThroughTheFile) {
  struct Case {
    const char* name;
    std::vector<AccountRecord> records;
    std::optional<std::string> active_email;
  };
  const std::vector<Case> cases = {
      {"empty", {}, std::nullopt},
      {"one account, active",
       {record("a1", "email", "Work", Json{{"email", "me@example.com"}, {"port", 993}}, true,
               false)},
       "a1"},
      {"types mixed, order kept",
       {record("z", "email", "Zed", Json::object(), false, true),
        record("c", "calendar", "Cal", Json{{"x", Json::array({1, 2})}}, true, true),
        record("b", "email", "B \xe2\x80\x94 \xc3\xa9", Json{{"nested", {{"k", nullptr}}}}, true,
               false)},
       "b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir_ / "root");
    AccountStore store;
    for (const auto& r : c.records) store.upsert(r);
    if (c.active_email) store.set_active(kEmail, AccountId{*c.active_email});
    ASSERT_TRUE(store.save_in(dir_ / "root"));

    auto loaded = AccountStore::load_in(dir_ / "root");
    ASSERT_TRUE(loaded) << loaded.error();
    std::vector<AccountRecord> emails;
    for (const auto& r : c.records) {
      if (r.type == kEmail) emails.push_back(r);
    }
    expect_same(loaded->list(kEmail), emails);
    EXPECT_EQ(loaded->active_id(kEmail),
              c.active_email ? std::optional<AccountId>(AccountId{*c.active_email}) : std::nullopt);
  }
}

TEST_F(AccountStoreTest, UpsertReplacesInPlaceAndRemoveForgetsTheActiveAccount) {
  AccountStore store;
  store.upsert(record("a", "email", "A", Json::object(), true, false));
  store.upsert(record("b", "email", "B", Json::object(), true, false));
  store.upsert(record("a", "email", "A2", Json{{"k", 1}}, false, true));
  auto listed = store.list(kEmail);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].label, "A2");
  EXPECT_EQ(listed[1].label, "B");

  store.set_active(kEmail, AccountId{"a"});
  store.remove(AccountId{"a"});
  EXPECT_EQ(store.list(kEmail).size(), 1u);
  EXPECT_FALSE(store.active_id(kEmail));
  store.remove(AccountId{"missing"});
  EXPECT_EQ(store.list(kEmail).size(), 1u);
}

TEST_F(AccountStoreTest, ReadsWhatTheFileHoldsAndRejectsDamage) {
  struct Case {
    const char* name;
    std::optional<std::string> file;  // nullopt: no file
    const char* error_part;           // nullptr: loads
  };
  const std::vector<Case> cases = {
      {"no file", std::nullopt, nullptr},
      {"flags missing read as false",
       R"({"accounts":[{"id":"a","type":"email","label":"A","settings":{}}]})", nullptr},
      {"not JSON", "{\"accounts\":[", "it is not valid JSON"},
      {"not an object", "[]", "it is not a JSON object"},
      {"duplicate top-level key", R"({"accounts":[],"accounts":[]})",
       "the key \"accounts\" appears twice"},
      {"accounts not a list", R"({"accounts":{}})", "\"accounts\" is not a list"},
      {"same key in sibling objects is fine",
       R"({"accounts":[{"id":"a","type":"email"},{"id":"b","type":"email"}]})", nullptr},
      {"active not text", R"({"active":{"email":5}})", "is not text"},
      {"duplicate key in active", R"({"active":{"email":"a","email":"b"}})",
       "the key \"email\" appears twice"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir_ / "accounts.json");
    if (c.file) write_text(dir_ / "accounts.json", *c.file);
    auto loaded = AccountStore::load_in(dir_);
    if (!c.error_part) {
      ASSERT_TRUE(loaded) << loaded.error();
      EXPECT_TRUE(loaded->unreadable().empty());
      continue;
    }
    ASSERT_FALSE(loaded);
    EXPECT_NE(loaded.error().find(c.error_part), std::string::npos) << loaded.error();
    EXPECT_NE(loaded.error().find((dir_ / "accounts.json").string()), std::string::npos);
    // A damaged store is reported, never replaced.
    EXPECT_EQ(read_text(dir_ / "accounts.json"), *c.file);
  }
  write_text(dir_ / "accounts.json",
             R"({"accounts":[{"id":"a","type":"email","label":"A","settings":{}}]})");
  auto loaded = AccountStore::load_in(dir_);
  ASSERT_TRUE(loaded);
  auto listed = loaded->list(kEmail);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_FALSE(listed[0].enabled);
  EXPECT_FALSE(listed[0].avatar_seed);
}

TEST_F(AccountStoreTest, ADamagedRecordHidesNoOtherAndIsSavedBackAsWritten) {
  struct Case {
    const char* name;
    std::string record;  // placed between two good ones
    const char* reason_part;
    const char* named;
  };
  const std::vector<Case> cases = {
      {"duplicate key inside settings",
       R"({"id":"bad","type":"email","settings":{"port":1,"port":2}})",
       "account 2: the key \"port\" appears twice", "bad"},
      {"duplicate account id", R"({"id":"a","type":"email","label":"second a"})",
       "account 2: the account id \"a\" appears twice", "a"},
      {"flag of the wrong type", R"({"id":"bad","type":"email","enabled":"yes"})",
       "\"enabled\" is not true or false", "bad"},
      {"settings not an object", R"({"id":"bad","type":"email","settings":[]})",
       "\"settings\" is not an object", "bad"},
      {"id missing", R"({"type":"email"})", "account 2: \"id\" is missing", "account 2"},
      {"not an object", R"("just text")", "account 2: it is not an object", "account 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = "{\"accounts\": [\n  {\"id\":\"a\",\"type\":\"email\"},\n  " +
                             c.record + ",\n  {\"id\":\"z\",\"type\":\"email\"}\n]}";
    write_text(dir_ / "accounts.json", file);
    auto loaded = AccountStore::load_in(dir_);
    ASSERT_TRUE(loaded) << loaded.error();
    const auto listed = loaded->list(kEmail);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].id.text(), "a");
    EXPECT_EQ(listed[1].id.text(), "z");
    ASSERT_EQ(loaded->unreadable().size(), 1u);
    EXPECT_EQ(loaded->unreadable()[0].name, c.named);
    EXPECT_NE(loaded->unreadable()[0].reason.find(c.reason_part), std::string::npos)
        << loaded->unreadable()[0].reason;
    EXPECT_NE(loaded->unreadable()[0].reason.find((dir_ / "accounts.json").string()),
              std::string::npos);

    // Saving (even after the good records changed) writes the damaged one back byte for
    // byte, in its place, and cannot remove it.
    loaded->upsert(record("z", "email", "Zed", Json::object(), true, false));
    loaded->remove(AccountId{"bad"});
    ASSERT_TRUE(loaded->save_in(dir_));
    const std::string saved = read_text(dir_ / "accounts.json");
    const auto at = saved.find(c.record);
    ASSERT_NE(at, std::string::npos) << saved;
    EXPECT_LT(saved.find("\"a\""), at);
    EXPECT_GT(saved.find("Zed"), at);
    auto again = AccountStore::load_in(dir_);
    ASSERT_TRUE(again) << again.error();
    EXPECT_EQ(again->list(kEmail).size(), 2u);
    EXPECT_EQ(again->unreadable().size(), 1u);
  }
}

TEST_F(AccountStoreTest, SaveRefusesARecordLoadWouldReject) {
  AccountStore store;
  store.upsert(record("a", "email", "A", Json::array(), true, false));
  EXPECT_FALSE(store.save_in(dir_));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "accounts.json"));
}

TEST(ConfigRoot, FollowsXdgThenHome) {
  struct Case {
    std::optional<std::string> xdg, home;
    std::optional<std::string> root;
  };
  const std::vector<Case> cases = {
      {"/x", "/h", "/x/vexa/accounts"},           {std::nullopt, "/h", "/h/.config/vexa/accounts"},
      {"", "/h", "/h/.config/vexa/accounts"},     {"relative", "/h", "/h/.config/vexa/accounts"},
      {std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    ScopedEnv home("HOME", c.home);
    auto root = config_root();
    EXPECT_EQ(root ? std::optional<std::string>(root->string()) : std::nullopt, c.root);
  }
  ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
  ScopedEnv home("HOME", std::nullopt);
  auto store = AccountStore::load();
  ASSERT_TRUE(store);
  EXPECT_TRUE(store->list(kEmail).empty());
}

}  // namespace
}  // namespace vexa::accounts
