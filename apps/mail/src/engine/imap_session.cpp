#include "engine/imap_session.h"

#include <fmt/format.h>
#include <imap/client.h>

#include <algorithm>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>
#include <functional>
#include <string_view>
#include <utility>

#include "engine/failure_classification.h"
#include "engine/mime_message.h"
#include "mailbox/ascii_text.h"

namespace mail::engine {

namespace {

// BODY.PEEK so that fetching leaves \Seen as it was on the server.
constexpr std::string_view kFetchItems = "(UID FLAGS INTERNALDATE BODY.PEEK[])";
constexpr std::string_view kListReference = "";
constexpr std::string_view kListPattern = "*";
constexpr std::string_view kAdd = "+FLAGS";
constexpr std::string_view kRemove = "-FLAGS";
constexpr std::string_view kAddSilently = "+FLAGS.SILENT";

// A dead or silent connection is a connection problem whatever command was running, so it gets
// the classified text; a server's refusal of one command is passed on as the library words it.
std::string describe(const imap::Error& error, std::string_view host) {
  switch (error.kind) {
    case imap::Error::Kind::Timeout:
    case imap::Error::Kind::Closed:
    case imap::Error::Kind::Io:
      return classify_connection_failure(error.text, host);
    case imap::Error::Kind::Protocol:
    case imap::Error::Kind::Rejected:
      break;
  }
  return error.text;
}

template <typename T>
std::expected<T, std::string> plain(imap::Result<T> result, std::string_view host) {
  if (!result) return std::unexpected(describe(result.error(), host));
  if constexpr (std::is_void_v<T>) {
    return {};
  } else {
    return std::move(*result);
  }
}

bool has_flag(const std::vector<std::string>& flags, std::string_view flag) {
  return std::ranges::any_of(flags, [&](const std::string& f) { return ascii_iequals(f, flag); });
}

// One fetched message; nullopt when the response carries no body. Kept out of the coroutines:
// g++ 12 mishandles some temporaries inside coroutine frames.
std::optional<MailMessage> to_message(const imap::FetchData& item, FolderRole folder,
                                      std::int64_t now_seconds) {
  if (!item.body) return std::nullopt;
  static const std::vector<std::string> no_flags;
  const std::vector<std::string>& flags = item.flags ? *item.flags : no_flags;
  std::optional<std::int64_t> arrived;
  if (item.internal_date) arrived = imap::parse_internal_date(*item.internal_date);
  return build_mail_message(*item.body, folder, has_flag(flags, "\\Seen"),
                            has_flag(flags, "\\Flagged"), arrived, now_seconds);
}

}  // namespace

ImapSession::ImapSession(std::unique_ptr<imap::Client> client, std::string host,
                         asio::any_io_executor build_executor)
    : client_(std::move(client)),
      host_(std::move(host)),
      build_executor_(std::move(build_executor)) {}
ImapSession::ImapSession(ImapSession&&) noexcept = default;
ImapSession& ImapSession::operator=(ImapSession&&) noexcept = default;
ImapSession::~ImapSession() = default;

asio::awaitable<std::expected<ImapSession, std::string>> ImapSession::open(
    const StoredConfig& config, const Credential& credential, const ImapSettings& settings) {
  const std::string host(trim_ascii(config.imap_host));
  if (host.empty()) co_return std::unexpected(std::string("no IMAP host"));
  // Checked before any traffic: a name that cannot be presented for verification is never
  // worth a connection.
  if (auto valid = imap::check_server_name(host); !valid) {
    co_return std::unexpected(fmt::format("invalid IMAP host name: {}", valid.error()));
  }
  const std::uint16_t port = config.imap_port == 0 ? 993 : config.imap_port;

  // The account's imap_tls switch is deliberately not consulted: IMAP is TLS from the first
  // byte or not at all.
  auto transport = co_await imap::connect_tls(*settings.tls, host, port, settings.timeout);
  if (!transport) {
    co_return std::unexpected(classify_connection_failure(transport.error().text, host));
  }

  auto client = std::make_unique<imap::Client>(std::move(*transport),
                                               imap::ClientOptions{.timeout = settings.timeout});
  if (auto greeted = co_await client->greeting(); !greeted) {
    co_return std::unexpected(classify_connection_failure(greeted.error().text, host));
  }
  // Not a conditional expression: g++ 12 destroys the result of a co_await inside ?: twice.
  imap::Result<void> authenticated;
  if (credential.kind == Credential::OAuth) {
    authenticated = co_await client->authenticate_xoauth2(credential.login, credential.secret);
  } else {
    authenticated = co_await client->login(credential.login, credential.secret);
  }
  if (!authenticated) {
    co_return std::unexpected(classify_connection_failure(authenticated.error().text, host));
  }
  co_return ImapSession(std::move(client), host, settings.build_executor);
}

asio::awaitable<std::expected<std::vector<MailboxEntry>, std::string>> ImapSession::list_folders() {
  auto listed = co_await client_->list(kListReference, kListPattern);
  if (!listed) co_return std::unexpected(describe(listed.error(), host_));
  std::vector<MailboxEntry> entries;
  entries.reserve(listed->size());
  for (imap::ListEntry& e : *listed) {
    entries.push_back(
        MailboxEntry{std::move(e.name), std::move(e.delimiter), std::move(e.attributes)});
  }
  co_return entries;
}

asio::awaitable<std::expected<void, std::string>> ImapSession::select(FolderRole folder) {
  auto selected = co_await client_->select(imap_mailbox(folder));
  if (!selected) co_return std::unexpected(describe(selected.error(), host_));
  co_return std::expected<void, std::string>{};
}

asio::awaitable<std::expected<std::vector<MailMessage>, std::string>> ImapSession::fetch_folder(
    FolderRole folder, std::int64_t now_seconds) {
  if (auto selected = co_await select(folder); !selected) {
    co_return std::unexpected(selected.error());
  }
  // Arguments are built before co_await: g++ 12 cannot keep braced lists or string literals
  // alive across a suspension point.
  std::vector<imap::Arg> criteria{imap::Arg::keyword(search_criteria(folder))};
  auto found = co_await client_->uid_search(std::move(criteria));
  if (!found) co_return std::unexpected(describe(found.error(), host_));
  std::vector<std::uint32_t> uids = std::move(*found);
  std::ranges::sort(uids);
  uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
  const std::size_t take = std::min(uids.size(), kFetchLimit);
  std::vector<std::uint32_t> wanted(uids.rbegin(), uids.rbegin() + static_cast<long>(take));
  if (wanted.empty()) co_return std::vector<MailMessage>{};

  std::string set;
  for (std::uint32_t uid : wanted) {
    if (!set.empty()) set += ',';
    set += std::to_string(uid);
  }
  // Each message is built as soon as its response is read, on the build strand when there is
  // one, while this strand goes on reading the next; the strand keeps them in response order.
  std::vector<MailMessage> messages;
  messages.reserve(wanted.size());
  const asio::any_io_executor builder = build_executor_;
  std::function<void(imap::FetchData &&)> on_fetch = [&](imap::FetchData&& item) {
    auto build = [&messages, folder, now_seconds, item = std::move(item)] {
      if (std::optional<MailMessage> m = to_message(item, folder, now_seconds)) {
        messages.push_back(std::move(*m));
      }
    };
    if (builder) {
      asio::post(builder, std::move(build));
    } else {
      build();
    }
  };
  auto fetched = co_await client_->uid_fetch(set, kFetchItems, std::move(on_fetch));
  // Every build posted so far must have run before `messages` is read or goes away.
  if (builder) co_await asio::post(builder, asio::use_awaitable);
  if (!fetched) co_return std::unexpected(describe(fetched.error(), host_));
  co_return messages;
}

asio::awaitable<std::expected<std::uint32_t, std::string>> ImapSession::locate(
    const MailMessage& message) {
  if (!message.message_id || message.message_id->empty()) {
    co_return std::unexpected(std::string("message has no Message-ID to locate it on the server"));
  }
  std::string id = *message.message_id;
  std::erase(id, '"');
  auto found = co_await search_message_id(id);
  // HEADER matches substrings, so an id with a quoted local part ("a b"@host) is not found once
  // its quotes are gone; the library quotes safely, so the exact id is worth a second search.
  if (found && found->empty() && id != *message.message_id) {
    found = co_await search_message_id(*message.message_id);
  }
  if (!found) co_return std::unexpected(found.error());
  if (found->empty()) co_return std::unexpected(std::string("message not found on the server"));
  co_return *std::ranges::max_element(*found);
}

asio::awaitable<std::expected<std::vector<std::uint32_t>, std::string>>
ImapSession::search_message_id(std::string id) {
  std::vector<imap::Arg> criteria{imap::Arg::keyword("HEADER"), imap::Arg::keyword("MESSAGE-ID"),
                                  imap::Arg::string(id)};
  auto found = co_await client_->uid_search(std::move(criteria));
  if (!found) co_return std::unexpected(describe(found.error(), host_));
  co_return std::move(*found);
}

asio::awaitable<std::expected<void, std::string>> ImapSession::store_flags(
    const MailMessage& message) {
  auto uid = co_await locate(message);
  if (!uid) co_return std::unexpected(uid.error());
  const std::string set = std::to_string(*uid);
  // Both flags are always written, so the server ends with exactly the record's state.
  const std::vector<std::string> seen{"\\Seen"};
  if (auto r = co_await client_->uid_store(set, message.seen ? kAdd : kRemove, seen); !r) {
    co_return std::unexpected(describe(r.error(), host_));
  }
  const std::vector<std::string> flagged{"\\Flagged"};
  if (auto r = co_await client_->uid_store(set, message.starred ? kAdd : kRemove, flagged); !r) {
    co_return std::unexpected(describe(r.error(), host_));
  }
  co_return std::expected<void, std::string>{};
}

asio::awaitable<std::expected<void, std::string>> ImapSession::move(const MailMessage& message,
                                                                    FolderRole target) {
  auto uid = co_await locate(message);
  if (!uid) co_return std::unexpected(uid.error());
  auto moved = co_await client_->uid_move(std::to_string(*uid), imap_mailbox(target));
  co_return plain(std::move(moved), host_);
}

asio::awaitable<std::expected<void, std::string>> ImapSession::purge(const MailMessage& message) {
  auto uid = co_await locate(message);
  if (!uid) co_return std::unexpected(uid.error());
  const std::string set = std::to_string(*uid);
  const std::vector<std::string> deleted{"\\Deleted"};
  if (auto r = co_await client_->uid_store(set, kAddSilently, deleted); !r) {
    co_return std::unexpected(describe(r.error(), host_));
  }
  // UID EXPUNGE (RFC 4315) removes only this message. A plain EXPUNGE would also remove every
  // other message someone marked \Deleted in this mailbox, so there is no fallback to it.
  if (auto r = co_await client_->uid_expunge(set); !r) {
    co_return std::unexpected(
        fmt::format("server cannot safely expunge this message: {}", r.error().text));
  }
  co_return std::expected<void, std::string>{};
}

asio::awaitable<void> ImapSession::close() {
  if (client_) (void)co_await client_->logout();
}

}  // namespace mail::engine
