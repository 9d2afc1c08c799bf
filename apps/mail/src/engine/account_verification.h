#pragma once
// The account check behind "Save & verify": log in to the IMAP server and to the SMTP server
// with exactly the settings on screen, each on a runtime of its own, each bounded and stopped
// within about 50 ms once the sheet lets go of it.
#include <atomic>
#include <chrono>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>

#include "store/account_form.h"
#include "vexa/background_task.h"

namespace mail::engine {

struct VerificationOptions {
  // Each probe's whole race; its single network waits have their own, shorter bound below.
  std::chrono::milliseconds probe_bound{std::chrono::seconds(30)};
  std::chrono::milliseconds step_timeout{std::chrono::seconds(30)};
  std::optional<std::filesystem::path> vault_dir;  // default: the platform's vault
};

// Success, or the one message for the status line. nullopt when a probe's runtime could not be
// made: the thread then ends without a result.
using VerificationResult = std::expected<void, std::string>;
std::optional<VerificationResult> verify_account(const AccountForm& form,
                                                 const std::atomic<bool>& cancel,
                                                 const VerificationOptions& options = {});

using VerificationTask = vexa::BackgroundTask<VerificationResult>;
// Runs verify_account on the thread "mail-account-validation"; the error is the system's text
// when the thread cannot be started.
std::expected<VerificationTask, std::string> start_verification(AccountForm form,
                                                                VerificationOptions options = {});

}  // namespace mail::engine
