#include "vexa/actions/registry.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace vexa::actions {
namespace {

using nlohmann::json;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.register_family(
        "test.set",
        [](const json& value, persist::Document& doc) -> std::expected<json, std::string> {
          if (!value.is_string()) return std::unexpected("value must be text");
          if (value == "throw") throw std::runtime_error("type_error: not a string");
          doc.put_string(persist::kRoot, "last", value.get<std::string>());
          return json{{"applied", value}};
        });
  }
  Registry registry_;
  std::unique_ptr<persist::Document> doc_ = persist::open_memory();
};

TEST_F(RegistryTest, DispatchRunsTheFamilyAndRecordsEveryOutcome) {
  struct Case {
    EncodedAction action;
    std::optional<json> result;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{"test.set", "a"}, json{{"applied", "a"}}, ""},
      {{"test.set", 5}, std::nullopt, "value must be text"},
      {{"test.unknown", "a"}, std::nullopt, "no action family registered for test.unknown"},
      {{"test.set", "throw"}, std::nullopt, "type_error: not a string"},
  };
  for (const auto& c : cases) {
    auto outcome = registry_.dispatch(c.action, *doc_);
    if (c.result) {
      ASSERT_TRUE(outcome) << outcome.error();
      EXPECT_EQ(*outcome, *c.result);
    } else {
      ASSERT_FALSE(outcome);
      EXPECT_EQ(outcome.error(), c.error);
    }
  }
  EXPECT_EQ(doc_->get_string(persist::kRoot, "last"), "a");

  const auto& history = registry_.history();
  ASSERT_EQ(history.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(history[i].sequence, i + 1);
    EXPECT_EQ(history[i].action.operation_type, cases[i].action.operation_type);
    EXPECT_EQ(history[i].action.value, cases[i].action.value);
    EXPECT_EQ(history[i].ok, cases[i].result.has_value());
    EXPECT_EQ(history[i].error, cases[i].error);
  }
}

TEST_F(RegistryTest, ReportedActionsShareTheHistoryAndItStaysBounded) {
  EXPECT_TRUE(registry_.has_family("test.set"));
  EXPECT_FALSE(registry_.has_family("test.other"));
  registry_.report_typed_action({"mail.action", json{{"SetRead", true}}}, true);
  registry_.report_typed_action({"mail.action", json{}}, false, "refused");
  ASSERT_EQ(registry_.history().size(), 2u);
  EXPECT_EQ(registry_.history()[1].error, "refused");

  for (int i = 0; i < 5000; ++i) registry_.report_typed_action({"mail.action", i}, true);
  const auto& history = registry_.history();
  EXPECT_LE(history.size(), 2000u);
  EXPECT_GE(history.size(), 1000u);
  EXPECT_EQ(history.back().sequence, 5002u);
  EXPECT_EQ(history.back().action.value, 4999);
}

}  // namespace
}  // namespace vexa::actions
