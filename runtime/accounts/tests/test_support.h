#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "temp_dir.h"

namespace vexa::accounts::testing {

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = temp_.path(); }

  static void write_text(const std::filesystem::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
  }
  static std::string read_text(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  vexa::testing::TempDir temp_{"vexa-accounts"};
  std::filesystem::path dir_;
};

// Sets (or, with nullopt, unsets) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace vexa::accounts::testing
