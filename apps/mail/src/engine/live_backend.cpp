#include "engine/live_backend.h"

#include <fmt/format.h>
#include <vexa/net/net.h>

#include <asio/co_spawn.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ssl/context.hpp>
#include <asio/strand.hpp>
#include <asio/use_future.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "engine/outgoing.h"
#include "engine/imap_session.h"
#include "engine/smtp_submission.h"
#include "engine/tls_context.h"
#include "mailbox/overloaded.h"
#include "setup/oauth.h"
#include "engine/credentials.h"

namespace mail::engine {

namespace {

std::int64_t unix_seconds_now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

class LiveBackend final : public MailBackend {
 public:
  explicit LiveBackend(LiveOptions options)
      : options_(options),
        io_(2),
        guard_(asio::make_work_guard(io_)),
        net_(vexa::net::client_config()),
        tls_(make_tls_context(net_)) {
    for (int i = 0; i < 2; ++i) threads_.emplace_back([this] { io_.run(); });
  }

  ~LiveBackend() override {
    guard_.reset();
    io_.stop();
    for (std::thread& t : threads_) t.join();
  }

  void handle(WorkerCommand command, const vexa::Sender<WorkerEvent>& events) override {
    const std::uint8_t command_kind = kind(command);
    const RequestId id = request_id(command);
    auto fail = [&](std::string message) {
      events.send(
          Failed{command_kind, id, std::string(failure_label(command_kind)), std::move(message)});
    };
    std::visit(Overloaded{
                   [&](Connect& c) { connect(c, events, fail); },
                   [&](SyncFolder& c) { sync_folder(c, events, fail); },
                   [&](StoreFlags& c) {
                     change(c.config, c.message.folder, fail,
                            [&](ImapSession& s) { return s.store_flags(c.message); });
                   },
                   [&](MoveMessage& c) {
                     change(c.config, c.message.folder, fail,
                            [&](ImapSession& s) { return s.move(c.message, c.target); });
                   },
                   [&](PurgeMessage& c) {
                     change(c.config, c.message.folder, fail,
                            [&](ImapSession& s) { return s.purge(c.message); });
                   },
                   [&](Send& c) { send(c, events, fail); },
                   [&](OAuthSignIn& c) { oauth_sign_in(c, fail); },
               },
               command);
  }

 private:
  // One IMAP session for one command: resolve the credential, open, run `job`, and log out
  // after a success (a failure drops the connection at once).
  template <typename T, typename Job>
  std::expected<T, std::string> in_session(const StoredConfig& config, Job job) {
    auto credential = resolve_credential(config);
    if (!credential) return std::unexpected(credential.error());
    return block_on([&]() -> asio::awaitable<std::expected<T, std::string>> {
      auto session = co_await ImapSession::open(config, *credential, settings());
      if (!session) co_return std::unexpected(session.error());
      std::expected<T, std::string> result = co_await job(*session);
      if (result) co_await session->close();
      co_return result;
    });
  }

  template <typename Fail>
  void connect(const Connect& c, const vexa::Sender<WorkerEvent>& events, Fail& fail) {
    auto listed = in_session<std::vector<MailboxEntry>>(
        c.config, [](ImapSession& s) { return s.list_folders(); });
    if (!listed) return fail(listed.error());
    events.send(Connected{c.request_id, c.config.email});
    events.send(FoldersListed{c.request_id, c.config.email, std::move(*listed)});
  }

  template <typename Fail>
  void sync_folder(const SyncFolder& c, const vexa::Sender<WorkerEvent>& events, Fail& fail) {
    // Taken before connecting: the date of messages that carry none.
    const std::int64_t now = unix_seconds_now();
    auto fetched = in_session<std::vector<MailMessage>>(
        c.config, [&](ImapSession& s) { return s.fetch_folder(c.folder, now); });
    if (!fetched) return fail(fetched.error());
    events.send(Synced{c.folder, c.request_id, c.config.email, std::move(*fetched)});
  }

  // Select the message's folder, then make one change.
  template <typename Fail, typename Job>
  void change(const StoredConfig& config, FolderRole folder, Fail& fail, Job job) {
    auto changed = in_session<void>(
        config, [&](ImapSession& s) -> asio::awaitable<std::expected<void, std::string>> {
          if (auto selected = co_await s.select(folder); !selected) co_return selected;
          co_return co_await job(s);
        });
    if (!changed) fail(changed.error());
  }

  template <typename Fail>
  void send(const Send& c, const vexa::Sender<WorkerEvent>& events, Fail& fail) {
    auto credential = resolve_credential(c.config);
    if (!credential) return fail(credential.error());
    auto bytes = assemble_outgoing(c.config, c.draft);
    if (!bytes) return fail(bytes.error());
    auto sent = submit_message(c.config, *credential, c.draft, *bytes,
                               SmtpOptions{.tls = net_, .step_timeout = options_.timeout});
    if (!sent) return fail(sent.error());
    events.send(Delivered{c.request_id, *sent});
  }

  template <typename Fail>
  void oauth_sign_in(const OAuthSignIn& c, Fail& fail) {
    if (!setup::client_id(c.provider)) {
      return fail(fmt::format("set {} to sign in", setup::client_id_variable(c.provider)));
    }
    fail(fmt::format("browser sign-in for {} is not available in this build yet", c.account_key));
  }

  ImapSettings settings() {
    return ImapSettings{
        .tls = &tls_, .timeout = options_.timeout, .build_executor = asio::make_strand(io_)};
  }

  // Runs one coroutine on a fresh strand of the runtime and waits for it on the worker thread.
  template <typename Make>
  auto block_on(Make make) {
    return asio::co_spawn(asio::make_strand(io_), make(), asio::use_future).get();
  }

  LiveOptions options_;
  asio::io_context io_;
  asio::executor_work_guard<asio::io_context::executor_type> guard_;
  vexa::net::ClientConfig net_;
  asio::ssl::context tls_;
  std::vector<std::thread> threads_;
};

}  // namespace

std::expected<std::unique_ptr<MailBackend>, std::string> make_live_backend(LiveOptions options) {
  try {
    return std::make_unique<LiveBackend>(options);
  } catch (const std::exception& e) {
    return std::unexpected(std::string(e.what()));
  }
}

}  // namespace mail::engine
