#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "test_support.h"
#include "vexa/accounts/accounts.h"

namespace vexa::accounts {
namespace {

class SyncReporterTest : public testing::TempDirTest {
 protected:
  nlohmann::json status() {
    return nlohmann::json::parse(read_text(dir_ / "root" / "sync-status.json"));
  }
};

TEST_F(SyncReporterTest, RecordsEachStateWithItsTime) {
  AccountSyncReporter reporter(dir_ / "root", "me@example.com");
  struct Case {
    std::expected<void, std::string> (AccountSyncReporter::*report)() const;
    const char* state;
  };
  const std::vector<Case> cases = {
      {&AccountSyncReporter::started, "started"},
      {&AccountSyncReporter::succeeded, "succeeded"},
      {&AccountSyncReporter::needs_authentication, "needs_authentication"},
      {&AccountSyncReporter::failed, "failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    const auto before = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    ASSERT_TRUE((reporter.*c.report)());
    auto entry = status()["me@example.com"];
    EXPECT_EQ(entry["state"], c.state);
    EXPECT_GE(entry["at"].get<std::int64_t>(), before);
    EXPECT_LE(entry["at"].get<std::int64_t>(), before + 5);
  }
}

TEST_F(SyncReporterTest, KeepsOtherAccountsAndRecoversFromADamagedFile) {
  ASSERT_TRUE(AccountSyncReporter(dir_ / "root", "a@example.com").started());
  ASSERT_TRUE(AccountSyncReporter(dir_ / "root", "b@example.com").failed());
  EXPECT_EQ(status()["a@example.com"]["state"], "started");
  EXPECT_EQ(status()["b@example.com"]["state"], "failed");

  write_text(dir_ / "root" / "sync-status.json", "{not json");
  ASSERT_TRUE(AccountSyncReporter(dir_ / "root", "a@example.com").succeeded());
  EXPECT_EQ(status().size(), 1u);
  EXPECT_EQ(status()["a@example.com"]["state"], "succeeded");
}

TEST_F(SyncReporterTest, ReportsARootThatCannotBeCreated) {
  write_text(dir_ / "file", "x");
  auto result = AccountSyncReporter(dir_ / "file" / "root", "a@example.com").started();
  EXPECT_FALSE(result);
}

}  // namespace
}  // namespace vexa::accounts
