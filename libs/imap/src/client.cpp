#include "imap/client.h"

#include <fmt/format.h>
#include <openssl/evp.h>

#include <algorithm>
#include <asio/error.hpp>
#include <utility>

#include "deadline.h"

namespace imap {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
// A server that keeps challenging an XOAUTH2 attempt is not going to accept it.
constexpr int kMaxChallenges = 3;
constexpr std::size_t kMaxServerText = 400;

// Server words reach the user's status line: keep them to printable, valid UTF-8 of sane length.
std::string printable(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size() && out.size() < kMaxServerText) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += (c < 0x20 || c == 0x7f) ? ' ' : static_cast<char>(c);
      ++i;
      continue;
    }
    const std::size_t len = c >= 0xf0 && c < 0xf5   ? 4
                            : c >= 0xe0 && c < 0xf0 ? 3
                            : c >= 0xc2 && c < 0xe0 ? 2
                                                    : 0;
    bool valid = len != 0 && i + len <= text.size();
    for (std::size_t k = 1; valid && k < len; ++k) {
      valid = (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
    }
    if (valid) {
      out.append(text.substr(i, len));
      i += len;
    } else {
      out += '?';
      ++i;
    }
  }
  if (i < text.size()) out += "…";
  return out;
}

// "[CODE] text" of a status response, either part possibly absent.
std::string status_detail(const Response& r) {
  std::string out;
  if (!r.code.empty()) out = "[" + printable(r.code) + "]";
  if (!r.text.empty()) {
    if (!out.empty()) out += ' ';
    out += printable(r.text);
  }
  return out;
}

Error rejected(const std::string& verb, const Response& r) {
  std::string text = fmt::format("{} failed: {}", verb, r.keyword);
  const std::string detail = status_detail(r);
  if (!detail.empty()) text += " " + detail;
  return Error{Error::Kind::Rejected, std::move(text)};
}

Error closed_by_bye(const std::string& verb, const Response& r) {
  std::string text = verb + ": the server closed the connection";
  const std::string detail = status_detail(r);
  if (!detail.empty()) text += ": " + detail;
  return Error{Error::Kind::Closed, std::move(text)};
}

Error protocol(const std::string& verb, std::string_view what) {
  return Error{Error::Kind::Protocol, fmt::format("{}: {}", verb, what)};
}

bool starts_with_upper(std::string_view text, std::string_view upper) {
  if (text.size() < upper.size()) return false;
  for (std::size_t i = 0; i < upper.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

std::optional<std::uint32_t> code_number(std::string_view code, std::string_view name) {
  if (!starts_with_upper(code, name) || code.size() <= name.size() + 1 ||
      code[name.size()] != ' ') {
    return std::nullopt;
  }
  code.remove_prefix(name.size() + 1);
  std::uint64_t n = 0;
  if (code.empty() || code.size() > 10) return std::nullopt;
  for (char c : code) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (n > 0xffffffffu) return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

bool is_flag(std::string_view flag) {
  if (!flag.empty() && flag[0] == '\\') flag.remove_prefix(1);
  if (flag.empty()) return false;
  return std::ranges::all_of(flag, [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c > 0x20 && c < 0x7f && c != '(' && c != ')' && c != '{' && c != '%' && c != '*' &&
           c != '"' && c != '\\' && c != ']';
  });
}

bool is_store_operation(std::string_view op) {
  if (!op.empty() && (op[0] == '+' || op[0] == '-')) op.remove_prefix(1);
  return starts_with_upper(op, "FLAGS") &&
         (op.size() == 5 || (op.size() == 12 && starts_with_upper(op.substr(5), ".SILENT")));
}

std::string base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3), '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

}  // namespace

struct Client::Exchange {
  Command command;
  std::vector<std::string> replies;  // one line per continuation, after the command is sent
  bool answer_challenges = false;    // further continuations get an empty line
  std::vector<Response> untagged;
  // When set, takes each untagged response instead of `untagged`; an error ends the command.
  std::function<std::optional<Error>(Response&&)> on_untagged;
};

Client::Client(std::unique_ptr<Transport> transport, ClientOptions options)
    : transport_(std::move(transport)), options_(options), parser_(options.limits) {}

Client::~Client() {
  if (transport_) transport_->close();
}

bool Client::has_capability(std::string_view name) const {
  return std::ranges::any_of(capabilities_, [&](const std::string& c) {
    return c.size() == name.size() && starts_with_upper(name, c);
  });
}

Error Client::broken(Error error) {
  broken_ = true;
  transport_->close();
  return error;
}

std::optional<Error> Client::unusable(const std::string& verb) const {
  if (!broken_) return std::nullopt;
  return Error{Error::Kind::Closed, verb + ": the connection is no longer usable"};
}

asio::awaitable<Result<void>> Client::send(const std::string& verb, std::string_view bytes) {
  std::expected<void, std::error_code> sent;
  bool expired = false;
  {
    detail::Deadline deadline(transport_->executor(), options_.timeout,
                              [t = transport_.get()] { t->cancel(); });
    sent = co_await transport_->write_all(bytes);
    expired = deadline.expired();
  }
  if (sent) co_return Result<void>{};
  if (expired) {
    co_return std::unexpected(
        broken(Error{Error::Kind::Timeout, verb + ": timed out waiting for the server"}));
  }
  if (sent.error() == asio::error::broken_pipe || sent.error() == asio::error::eof) {
    co_return std::unexpected(
        broken(Error{Error::Kind::Closed, verb + ": the server closed the connection"}));
  }
  co_return std::unexpected(broken(Error{Error::Kind::Io, verb + ": " + sent.error().message()}));
}

asio::awaitable<Result<Response>> Client::read_response(const std::string& verb) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point started = Clock::now();
  std::uint64_t received = 0;
  const auto timed_out = [&] {
    return std::unexpected(
        broken(Error{Error::Kind::Timeout, verb + ": timed out waiting for the server"}));
  };
  while (true) {
    auto next = parser_.next();
    if (!next) co_return std::unexpected(broken(protocol(verb, next.error().text)));
    if (*next) {
      Response& r = **next;
      if (auto caps = read_capabilities(r); !caps.empty()) capabilities_ = std::move(caps);
      co_return std::move(r);
    }
    if (read_buffer_.empty()) read_buffer_.resize(kReadChunk);
    // The bound runs from the first read of this response, not from the last byte, so a
    // trickle never restarts it; each byte received buys the time `min_rate` allows for it.
    const auto allowed =
        options_.timeout +
        std::chrono::milliseconds(received * 1000 / std::max<std::size_t>(options_.min_rate, 1));
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(started + allowed - Clock::now());
    if (left <= std::chrono::milliseconds(0)) co_return timed_out();
    std::expected<std::size_t, std::error_code> got;
    bool expired = false;
    {
      detail::Deadline deadline(transport_->executor(), left,
                                [t = transport_.get()] { t->cancel(); });
      got = co_await transport_->read_some(read_buffer_);
      expired = deadline.expired();
    }
    if (!got) {
      if (expired) co_return timed_out();
      co_return std::unexpected(
          broken(Error{Error::Kind::Io, verb + ": " + got.error().message()}));
    }
    if (*got == 0) {
      co_return std::unexpected(
          broken(Error{Error::Kind::Closed, verb + ": the server closed the connection"}));
    }
    received += *got;
    command_bytes_ += *got;
    parser_.feed(std::string_view(read_buffer_.data(), *got));
  }
}

asio::awaitable<Result<void>> Client::run(Exchange& exchange) {
  const Command& command = exchange.command;
  const std::string& verb = command.verb;
  if (auto e = unusable(verb)) co_return std::unexpected(*e);

  command_bytes_ = 0;
  std::size_t untagged = 0;
  auto handle_untagged = [&](Response&& r) -> std::optional<Error> {
    if (r.keyword == "BYE") return broken(closed_by_bye(verb, r));
    if (++untagged > options_.max_untagged) {
      return broken(Error{Error::Kind::Io, fmt::format("{}: the server sent more than {} responses",
                                                       verb, options_.max_untagged)});
    }
    if (command_bytes_ > options_.max_command_bytes) {
      return broken(Error{Error::Kind::Io, fmt::format("{}: the server sent more than {} bytes",
                                                       verb, options_.max_command_bytes)});
    }
    if (exchange.on_untagged) return exchange.on_untagged(std::move(r));
    exchange.untagged.push_back(std::move(r));
    return std::nullopt;
  };
  auto handle_tagged = [&](const Response& r) -> Result<void> {
    if (r.tag != command.tag) {
      return std::unexpected(broken(protocol(verb, "a response for another command")));
    }
    if (r.keyword == "OK") return {};
    return std::unexpected(rejected(verb, r));
  };

  for (std::size_t i = 0; i < command.segments.size(); ++i) {
    if (auto sent = co_await send(verb, command.segments[i]); !sent) co_return sent;
    if (i + 1 == command.segments.size()) break;
    // The literal's bytes may only follow once the server has said "+".
    while (true) {
      auto r = co_await read_response(verb);
      if (!r) co_return std::unexpected(r.error());
      if (r->type == Response::Type::Continuation) break;
      if (r->type == Response::Type::Untagged) {
        if (auto e = handle_untagged(std::move(*r))) co_return std::unexpected(*e);
        continue;
      }
      auto done = handle_tagged(*r);
      if (done) co_return std::unexpected(broken(protocol(verb, "completed before its literal")));
      co_return done;
    }
  }

  std::size_t replies_sent = 0;
  int challenges = 0;
  while (true) {
    auto r = co_await read_response(verb);
    if (!r) co_return std::unexpected(r.error());
    switch (r->type) {
      case Response::Type::Untagged:
        if (auto e = handle_untagged(std::move(*r))) co_return std::unexpected(*e);
        break;
      case Response::Type::Continuation: {
        std::string line;
        if (replies_sent < exchange.replies.size()) {
          line = exchange.replies[replies_sent++] + "\r\n";
        } else if (exchange.answer_challenges && challenges++ < kMaxChallenges) {
          line = "\r\n";
        } else {
          co_return std::unexpected(broken(protocol(verb, "unexpected continuation request")));
        }
        if (auto sent = co_await send(verb, line); !sent) co_return sent;
        break;
      }
      case Response::Type::Tagged:
        co_return handle_tagged(*r);
    }
  }
}

asio::awaitable<Result<void>> Client::greeting() {
  const std::string verb = "greeting";
  if (auto e = unusable(verb)) co_return std::unexpected(*e);
  auto r = co_await read_response(verb);
  if (!r) co_return std::unexpected(r.error());
  if (r->type == Response::Type::Untagged) {
    if (r->keyword == "OK" || r->keyword == "PREAUTH") co_return Result<void>{};
    if (r->keyword == "BYE") co_return std::unexpected(broken(closed_by_bye(verb, *r)));
    if (r->keyword == "NO" || r->keyword == "BAD") {
      co_return std::unexpected(broken(rejected(verb, *r)));
    }
  }
  co_return std::unexpected(broken(protocol(verb, "the server did not greet")));
}

asio::awaitable<Result<std::vector<std::string>>> Client::capability() {
  Exchange x{build_command(tags_.next(), "CAPABILITY", {})};
  if (auto done = co_await run(x); !done) co_return std::unexpected(done.error());
  co_return capabilities_;
}

asio::awaitable<Result<void>> Client::login(std::string_view user, std::string_view password) {
  Exchange x{build_command(tags_.next(), "LOGIN", {Arg::astring(user), Arg::astring(password)})};
  co_return co_await run(x);
}

asio::awaitable<Result<void>> Client::authenticate_xoauth2(std::string_view user,
                                                           std::string_view token) {
  std::string response = "user=";
  response += user;
  response +=
      "\x01"
      "auth=Bearer ";
  response += token;
  response += "\x01\x01";
  const std::string encoded = base64(response);
  // Without SASL-IR the initial response has to wait for the server's empty challenge. When the
  // capabilities are unknown, the initial response form is the one servers of this mechanism
  // accept.
  const bool initial_response = capabilities_.empty() || has_capability("SASL-IR");
  std::vector<Arg> args{Arg::keyword("XOAUTH2")};
  if (initial_response) args.push_back(Arg::keyword(encoded));
  Exchange x{build_command(tags_.next(), "AUTHENTICATE", args)};
  if (!initial_response) x.replies.push_back(encoded);
  // A failed XOAUTH2 attempt is answered with a challenge holding the error; the mechanism wants
  // an empty reply, after which the server sends the tagged NO.
  x.answer_challenges = true;
  co_return co_await run(x);
}

asio::awaitable<Result<std::vector<ListEntry>>> Client::list(std::string_view reference,
                                                             std::string_view pattern) {
  Exchange x{build_command(tags_.next(), "LIST", {Arg::string(reference), Arg::string(pattern)})};
  if (auto done = co_await run(x); !done) co_return std::unexpected(done.error());
  std::vector<ListEntry> entries;
  for (const Response& r : x.untagged) {
    if (r.keyword != "LIST") continue;
    auto entry = read_list(r);
    if (!entry) co_return std::unexpected(protocol("LIST", entry.error().text));
    entries.push_back(std::move(*entry));
  }
  co_return entries;
}

asio::awaitable<Result<SelectInfo>> Client::select(std::string_view mailbox) {
  Exchange x{build_command(tags_.next(), "SELECT", {Arg::astring(mailbox)})};
  if (auto done = co_await run(x); !done) co_return std::unexpected(done.error());
  SelectInfo info;
  for (const Response& r : x.untagged) {
    if (r.keyword == "EXISTS" && r.number) {
      info.exists = *r.number;
    } else if (r.keyword == "OK") {
      if (auto n = code_number(r.code, "UIDVALIDITY")) info.uid_validity = n;
      if (auto n = code_number(r.code, "UIDNEXT")) info.uid_next = n;
    }
  }
  co_return info;
}

asio::awaitable<Result<std::vector<std::uint32_t>>> Client::uid_search(std::vector<Arg> criteria) {
  // Non-ASCII search strings mean nothing to a server unless the charset is named.
  const bool eight_bit = std::ranges::any_of(criteria, [](const Arg& a) {
    return std::ranges::any_of(a.text(),
                               [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  });
  if (eight_bit) {
    criteria.insert(criteria.begin(), {Arg::keyword("CHARSET"), Arg::keyword("UTF-8")});
  }
  Exchange x{build_command(tags_.next(), "UID SEARCH", criteria)};
  if (auto done = co_await run(x); !done) co_return std::unexpected(done.error());
  std::vector<std::uint32_t> uids;
  for (const Response& r : x.untagged) {
    if (r.keyword != "SEARCH") continue;
    auto found = read_search(r);
    if (!found) co_return std::unexpected(protocol("UID SEARCH", found.error().text));
    uids.insert(uids.end(), found->begin(), found->end());
  }
  co_return uids;
}

asio::awaitable<Result<std::vector<FetchData>>> Client::uid_fetch(std::string_view uid_set,
                                                                  std::string_view items) {
  std::vector<FetchData> fetched;
  std::function<void(FetchData &&)> collect = [&](FetchData&& d) {
    fetched.push_back(std::move(d));
  };
  if (auto done = co_await uid_fetch(uid_set, items, std::move(collect)); !done) {
    co_return std::unexpected(done.error());
  }
  co_return fetched;
}

asio::awaitable<Result<void>> Client::uid_fetch(std::string_view uid_set, std::string_view items,
                                                std::function<void(FetchData&&)> on_fetch) {
  if (!is_sequence_set(uid_set))
    co_return std::unexpected(protocol("UID FETCH", "invalid UID set"));
  Exchange x{
      build_command(tags_.next(), "UID FETCH", {Arg::sequence_set(uid_set), Arg::keyword(items)})};
  x.on_untagged = [&](Response&& r) -> std::optional<Error> {
    if (r.keyword != "FETCH") return std::nullopt;
    auto data = read_fetch(std::move(r));
    // A FETCH we cannot read leaves the rest of the stream in doubt.
    if (!data) return broken(protocol("UID FETCH", data.error().text));
    on_fetch(std::move(*data));
    return std::nullopt;
  };
  co_return co_await run(x);
}

asio::awaitable<Result<void>> Client::uid_store(std::string_view uid_set,
                                                std::string_view operation,
                                                std::span<const std::string> flags) {
  if (!is_sequence_set(uid_set))
    co_return std::unexpected(protocol("UID STORE", "invalid UID set"));
  if (!is_store_operation(operation)) {
    co_return std::unexpected(protocol("UID STORE", "invalid store operation"));
  }
  std::string list = "(";
  for (const std::string& flag : flags) {
    if (!is_flag(flag)) co_return std::unexpected(protocol("UID STORE", "invalid flag"));
    if (list.size() > 1) list += ' ';
    list += flag;
  }
  list += ')';
  Exchange x{
      build_command(tags_.next(), "UID STORE",
                    {Arg::sequence_set(uid_set), Arg::keyword(operation), Arg::keyword(list)})};
  co_return co_await run(x);
}

asio::awaitable<Result<void>> Client::uid_move(std::string_view uid_set, std::string_view mailbox) {
  if (!is_sequence_set(uid_set)) co_return std::unexpected(protocol("UID MOVE", "invalid UID set"));
  Exchange x{
      build_command(tags_.next(), "UID MOVE", {Arg::sequence_set(uid_set), Arg::astring(mailbox)})};
  co_return co_await run(x);
}

asio::awaitable<Result<void>> Client::uid_expunge(std::string_view uid_set) {
  // UID EXPUNGE removes only the given messages; a plain EXPUNGE would remove every message
  // marked \Deleted in the mailbox.
  if (!is_sequence_set(uid_set)) {
    co_return std::unexpected(protocol("UID EXPUNGE", "invalid UID set"));
  }
  Exchange x{build_command(tags_.next(), "UID EXPUNGE", {Arg::sequence_set(uid_set)})};
  co_return co_await run(x);
}

asio::awaitable<Result<void>> Client::logout() {
  const std::string verb = "LOGOUT";
  if (auto e = unusable(verb)) co_return std::unexpected(*e);
  const Command command = build_command(tags_.next(), verb, {});
  Result<void> outcome;
  bool said_bye = false;
  if (auto sent = co_await send(verb, command.segments.front()); !sent) {
    outcome = sent;
  } else {
    while (true) {
      auto r = co_await read_response(verb);
      if (!r) {
        // A server that says BYE may close before its tagged OK.
        if (!(said_bye && r.error().kind == Error::Kind::Closed))
          outcome = std::unexpected(r.error());
        break;
      }
      if (r->type == Response::Type::Untagged && r->keyword == "BYE") said_bye = true;
      if (r->type != Response::Type::Tagged) continue;
      if (r->tag != command.tag) {
        outcome = std::unexpected(protocol(verb, "a response for another command"));
      } else if (r->keyword != "OK") {
        outcome = std::unexpected(rejected(verb, *r));
      }
      break;
    }
  }
  broken_ = true;
  transport_->close();
  co_return outcome;
}

}  // namespace imap
