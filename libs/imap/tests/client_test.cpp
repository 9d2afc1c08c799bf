#include <fmt/format.h>
#include <fmt/ranges.h>
#include <gtest/gtest.h>
#include <imap/client.h>

#include <chrono>

#include "transcript.h"

namespace imap::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kHello = "S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2] ready";
constexpr const char* kBody = "Subject: hi\r\n\r\nA1 OK done\r\n* BYE not really\r\n";

std::string render_caps(const std::vector<std::string>& caps) {
  return fmt::format("{}", fmt::join(caps, " "));
}

std::string render_fetch(const std::vector<FetchData>& items) {
  std::string out;
  for (const FetchData& f : items) {
    if (!out.empty()) out += " | ";
    out += fmt::format("#{}", f.sequence);
    if (f.uid) out += fmt::format(" uid={}", *f.uid);
    if (f.flags) out += fmt::format(" flags=({})", fmt::join(*f.flags, " "));
    if (f.internal_date) out += fmt::format(" date={:?}", *f.internal_date);
    if (f.body) out += fmt::format(" body={:?}", *f.body);
  }
  return out;
}

// Every case starts with the greeting, then runs its action.
struct Case {
  const char* name;
  std::vector<std::string> script;
  Action action;
  std::string want;
};

asio::awaitable<std::string> greet_then(Client& c, const Action& action) {
  auto hello = co_await c.greeting();
  if (!hello) co_return "greeting " + render(hello.error());
  co_return co_await action(c);
}

Action login(std::string user, std::string password) {
  return [=](Client& c) -> asio::awaitable<std::string> {
    co_return render(co_await c.login(user, password));
  };
}

Action select(std::string mailbox) {
  return [=](Client& c) -> asio::awaitable<std::string> {
    auto r = co_await c.select(mailbox);
    if (!r) co_return render(r.error());
    co_return fmt::format("exists={} validity={} next={}", r->exists,
                          r->uid_validity ? std::to_string(*r->uid_validity) : "-",
                          r->uid_next ? std::to_string(*r->uid_next) : "-");
  };
}

Action fetch(std::string set, std::string items) {
  return [=](Client& c) -> asio::awaitable<std::string> {
    auto r = co_await c.uid_fetch(set, items);
    co_return r ? render_fetch(*r) : render(r.error());
  };
}

Action search(std::vector<Arg> criteria) {
  return [=](Client& c) -> asio::awaitable<std::string> {
    auto r = co_await c.uid_search(criteria);
    co_return r ? fmt::format("[{}]", fmt::join(*r, " ")) : render(r.error());
  };
}

const std::vector<Case>& cases() {
  static const std::vector<Case> kCases = {
      {"capability_from_data",
       {kHello, "C: A1 CAPABILITY", "S: * CAPABILITY IMAP4rev1 MOVE uidplus", "S: A1 OK done"},
       [](Client& c) -> asio::awaitable<std::string> {
         auto r = co_await c.capability();
         co_return r ? render_caps(*r) + (c.has_capability("UIDPlus") ? " +uidplus" : "")
                     : render(r.error());
       },
       "IMAP4REV1 MOVE UIDPLUS +uidplus"},
      {"capability_from_login_code",
       {kHello, "C: A1 LOGIN fred secret", "S: A1 OK [CAPABILITY IMAP4rev1 MOVE] Logged in"},
       [](Client& c) -> asio::awaitable<std::string> {
         auto r = co_await c.login("fred", "secret");
         co_return render(r) + " " + render_caps(c.capabilities());
       },
       "ok IMAP4REV1 MOVE"},
      {"login_quotes_specials",
       {kHello, R"(C: A1 LOGIN "fred smith" "p\"a\\ss")", "S: A1 OK"},
       login("fred smith", R"(p"a\ss)"),
       "ok"},
      {"login_sends_8bit_password_as_literal_after_continuation",
       {kHello, "C: A1 LOGIN fred {9}", "S: + go ahead", "C: pässwort", "S: A1 OK welcome"},
       login("fred", "pässwort"),
       "ok"},
      {"login_password_with_line_break_is_literal",
       {kHello, "C: A1 LOGIN fred {7}", "S: +", "C: a\r\nA2 X", "S: A1 OK"},
       login("fred", "a\r\nA2 X"),
       "ok"},
      {"login_refused_instead_of_continuation",
       {kHello, "C: A1 LOGIN fred {9}", "S: A1 NO [AUTHENTICATIONFAILED] nope"},
       login("fred", "pässwort"),
       "Rejected: LOGIN failed: NO [AUTHENTICATIONFAILED] nope"},
      {"login_refused",
       {kHello, "C: A1 LOGIN fred wrong", "S: A1 NO [AUTHENTICATIONFAILED] Authentication failed."},
       login("fred", "wrong"),
       "Rejected: LOGIN failed: NO [AUTHENTICATIONFAILED] Authentication failed."},
      {"xoauth2_initial_response",
       {kHello,
        "C: A1 AUTHENTICATE XOAUTH2 "
        "dXNlcj1zb21lb25lQGV4YW1wbGUuY29tAWF1dGg9QmVhcmVyIHlhMjkudG9rZW4BAQ==",
        "S: A1 OK Logged in"},
       [](Client& c) -> asio::awaitable<std::string> {
         co_return render(co_await c.authenticate_xoauth2("someone@example.com", "ya29.token"));
       },
       "ok"},
      {"xoauth2_error_challenge_gets_empty_reply",
       {kHello,
        "C: A1 AUTHENTICATE XOAUTH2 "
        "dXNlcj1zb21lb25lQGV4YW1wbGUuY29tAWF1dGg9QmVhcmVyIHlhMjkudG9rZW4BAQ==",
        "S: + eyJzdGF0dXMiOiI0MDEifQ==", "C: ",
        "S: A1 NO [AUTHENTICATIONFAILED] Invalid credentials"},
       [](Client& c) -> asio::awaitable<std::string> {
         co_return render(co_await c.authenticate_xoauth2("someone@example.com", "ya29.token"));
       },
       "Rejected: AUTHENTICATE failed: NO [AUTHENTICATIONFAILED] Invalid credentials"},
      {"xoauth2_without_sasl_ir_waits_for_the_server",
       {"S: * OK [CAPABILITY IMAP4rev1 AUTH=XOAUTH2] ready", "C: A1 AUTHENTICATE XOAUTH2", "S: +",
        "C: dXNlcj1zb21lb25lQGV4YW1wbGUuY29tAWF1dGg9QmVhcmVyIHlhMjkudG9rZW4BAQ==", "S: A1 OK"},
       [](Client& c) -> asio::awaitable<std::string> {
         co_return render(co_await c.authenticate_xoauth2("someone@example.com", "ya29.token"));
       },
       "ok"},
      {"select_reads_counts_and_codes",
       {kHello, "C: A1 SELECT INBOX", "S: * 172 EXISTS", "S: * 1 RECENT",
        "S: * OK [UIDVALIDITY 3857529045] UIDs valid", "S: * OK [UIDNEXT 4392] Predicted next UID",
        R"(S: * FLAGS (\Answered \Flagged \Deleted \Seen \Draft))",
        R"(S: * OK [PERMANENTFLAGS (\Deleted \Seen \*)] Limited)", "S: * XODD (unbalanced [thing",
        "S: A1 OK [READ-WRITE] SELECT completed"},
       select("INBOX"),
       "exists=172 validity=3857529045 next=4392"},
      {"select_refused",
       {kHello, R"(C: A1 SELECT "No pe")", "S: A1 NO Mailbox doesn't exist: No pe"},
       select("No pe"),
       "Rejected: SELECT failed: NO Mailbox doesn't exist: No pe"},
      {"list_entries",
       {kHello, R"(C: A1 LIST "" "*")", R"(S: * LIST (\HasNoChildren) "/" INBOX)",
        R"(S: * LIST (\Noselect \HasChildren) NIL "Public Folders")",
        "S~ * LIST () \"\\\\\" {4}\r\na(b)\r\n", "S: A1 OK LIST done"},
       [](Client& c) -> asio::awaitable<std::string> {
         auto r = co_await c.list("", "*");
         if (!r) co_return render(r.error());
         std::string out;
         for (const ListEntry& e : *r) {
           out += fmt::format("[{}|{}|{}]", fmt::join(e.attributes, ","), e.delimiter, e.name);
         }
         co_return out;
       },
       "[\\HasNoChildren|/|INBOX][\\Noselect,\\HasChildren||Public Folders][|\\|a(b)]"},
      {"search_many",
       {kHello, R"(C: A1 UID SEARCH HEADER MESSAGE-ID "<a.b@example.com>")",
        "S: * SEARCH 3 1 4000000000", "S: A1 OK"},
       search(
           {Arg::keyword("HEADER"), Arg::keyword("MESSAGE-ID"), Arg::string("<a.b@example.com>")}),
       "[3 1 4000000000]"},
      {"search_empty",
       {kHello, "C: A1 UID SEARCH FLAGGED", "S: * SEARCH", "S: A1 OK"},
       search({Arg::keyword("FLAGGED")}),
       "[]"},
      {"search_8bit_names_the_charset",
       {kHello, "C: A1 UID SEARCH CHARSET UTF-8 SUBJECT {7}", "S: + ok", "C: Grüße",
        "S: * SEARCH 5", "S: A1 OK"},
       search({Arg::keyword("SUBJECT"), Arg::string("Grüße")}),
       "[5]"},
      {"search_zero_uid_is_malformed",
       {kHello, "C: A1 UID SEARCH ALL", "S: * SEARCH 0", "S: A1 OK"},
       search({Arg::keyword("ALL")}),
       "Protocol: UID SEARCH: malformed SEARCH response"},
      {"fetch_literal_body_holding_a_tagged_ok",
       {kHello, "C: A1 UID FETCH 7 (UID BODY.PEEK[])",
        fmt::format("S~ * 1 FETCH (UID 7 BODY[] {{{}}}\r\n{})\r\n", std::string(kBody).size(),
                    kBody),
        "S: A1 OK FETCH done"},
       fetch("7", "(UID BODY.PEEK[])"),
       R"(#1 uid=7 body="Subject: hi\r\n\r\nA1 OK done\r\n* BYE not really\r\n")"},
      {"fetch_several_items",
       {kHello, "C: A1 UID FETCH 9,7 (UID FLAGS INTERNALDATE BODY.PEEK[])",
        R"(S: * 1 FETCH (UID 9 FLAGS (\Seen \Flagged) INTERNALDATE "17-Jul-1996 02:44:25 -0700" RFC822.SIZE 5 BODY[] "x\"y"))",
        R"(S: * 2 FETCH (BODY[] NIL MODSEQ (12) UID 7 BODY[HEADER.FIELDS (FROM TO)] {0})", "S: )",
        R"(S: * 3 FETCH (FLAGS (\Deleted)))", "S: A1 OK"},
       fetch("9,7", "(UID FLAGS INTERNALDATE BODY.PEEK[])"),
       R"(#1 uid=9 flags=(\Seen \Flagged) date="17-Jul-1996 02:44:25 -0700" body="x\"y" | #2 uid=7 | #3 flags=(\Deleted))"},
      {"fetch_odd_item_list_is_malformed",
       {kHello, "C: A1 UID FETCH 7 (UID)", "S: * 1 FETCH (UID 7 FLAGS)", "S: A1 OK"},
       fetch("7", "(UID)"),
       "Protocol: UID FETCH: malformed FETCH response"},
      {"fetch_unparseable_line",
       {kHello, "C: A1 UID FETCH 7 (UID)", "S: * 1 FETCH (UID 7", "S: A1 OK"},
       fetch("7", "(UID)"),
       "Protocol: UID FETCH: malformed response: unterminated list"},
      {"fetch_invalid_set_sends_nothing",
       {kHello},
       fetch("7 FLAGS", "(UID)"),
       "Protocol: UID FETCH: invalid UID set"},
      {"store_ignores_unsolicited_fetch",
       {kHello, R"(C: A1 UID STORE 7 +FLAGS.SILENT (\Deleted \Seen))",
        R"(S: * 3 FETCH (FLAGS (\Deleted \Seen)))", "S: A1 OK"},
       [](Client& c) -> asio::awaitable<std::string> {
         const std::string flags[] = {"\\Deleted", "\\Seen"};
         co_return render(co_await c.uid_store("7", "+FLAGS.SILENT", flags));
       },
       "ok"},
      {"store_rejects_flag_injection",
       {kHello},
       [](Client& c) -> asio::awaitable<std::string> {
         const std::string flags[] = {"\\Seen) (X"};
         co_return render(co_await c.uid_store("7", "+FLAGS", flags));
       },
       "Protocol: UID STORE: invalid flag"},
      {"move",
       {kHello, "C: A1 UID MOVE 7 Archive", "S: * OK [COPYUID 1 7 9] Moved", "S: * 3 EXPUNGE",
        "S: A1 OK Move completed"},
       [](Client& c) -> asio::awaitable<std::string> {
         co_return render(co_await c.uid_move("7", "Archive"));
       },
       "ok"},
      {"expunge_refused",
       {kHello, "C: A1 UID EXPUNGE 7", "S: A1 BAD Error in IMAP command: Unknown command"},
       [](Client& c) -> asio::awaitable<std::string> {
         co_return render(co_await c.uid_expunge("7"));
       },
       "Rejected: UID EXPUNGE failed: BAD Error in IMAP command: Unknown command"},
      {"bye_mid_command",
       {kHello, "C: A1 SELECT INBOX", "S: * 3 EXISTS", "S: * BYE [UNAVAILABLE] Shutting down",
        "CLOSE"},
       select("INBOX"),
       "Closed: SELECT: the server closed the connection: [UNAVAILABLE] Shutting down"},
      {"close_mid_literal",
       {kHello, "C: A1 UID FETCH 7 (BODY.PEEK[])", "S: * 1 FETCH (UID 7 BODY[] {100}",
        "S~ partial body", "CLOSE"},
       fetch("7", "(BODY.PEEK[])"),
       "Closed: UID FETCH: the server closed the connection"},
      {"response_for_another_tag",
       {kHello, "C: A1 SELECT INBOX", "S: A7 OK"},
       select("INBOX"),
       "Protocol: SELECT: a response for another command"},
      {"unexpected_continuation",
       {kHello, "C: A1 SELECT INBOX", "S: + more?"},
       select("INBOX"),
       "Protocol: SELECT: unexpected continuation request"},
      {"logout_with_bye_and_ok",
       {kHello, "C: A1 LOGOUT", "S: * BYE Logging out", "S: A1 OK Logout completed"},
       [](Client& c) -> asio::awaitable<std::string> { co_return render(co_await c.logout()); },
       "ok"},
      {"logout_server_closes_after_bye",
       {kHello, "C: A1 LOGOUT", "S: * BYE Logging out", "CLOSE"},
       [](Client& c) -> asio::awaitable<std::string> { co_return render(co_await c.logout()); },
       "ok"},
      {"error_texts_are_made_printable",
       {kHello, "C: A1 SELECT INBOX", "S: A1 NO bad\x1b[31m \xff\x80\x80 \xc3\xa9 name"},
       select("INBOX"),
       "Rejected: SELECT failed: NO bad [31m ??? é name"},
  };
  return kCases;
}

class Transcript : public ::testing::TestWithParam<std::tuple<Case, std::size_t>> {};

TEST_P(Transcript, Runs) {
  const auto& [c, chunk] = GetParam();
  const Action& action = c.action;
  const Outcome out = run_transcript(
      c.script, [&](Client& client) { return greet_then(client, action); }, {}, chunk);
  EXPECT_EQ(out.result, c.want);
  EXPECT_EQ(out.record->mismatch, "");
  EXPECT_EQ(out.record->written, out.record->expected);
}

// Every transcript also runs with the server's bytes arriving one at a time.
INSTANTIATE_TEST_SUITE_P(Client, Transcript,
                         ::testing::Combine(::testing::ValuesIn(cases()),
                                            ::testing::Values(std::size_t{1} << 20, 1)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == 1 ? "_bytewise" : "");
                         });

struct GreetingCase {
  const char* name;
  std::vector<std::string> script;
  std::string want;
};

class Greeting : public ::testing::TestWithParam<GreetingCase> {};

TEST_P(Greeting, Reads) {
  const Outcome out =
      run_transcript(GetParam().script, [](Client& c) -> asio::awaitable<std::string> {
        auto r = co_await c.greeting();
        co_return render(r) + (r ? " " + render_caps(c.capabilities()) : "");
      });
  EXPECT_EQ(out.result, GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Client, Greeting,
    ::testing::ValuesIn(std::vector<GreetingCase>{
        {"ok_with_capabilities",
         {"S: * OK [CAPABILITY IMAP4rev1 SASL-IR] Hi"},
         "ok IMAP4REV1 SASL-IR"},
        {"preauth", {"S: * PREAUTH welcome"}, "ok "},
        {"bye",
         {"S: * BYE [UNAVAILABLE] Too busy"},
         "Closed: greeting: the server closed the connection: [UNAVAILABLE] Too busy"},
        {"tagged", {"S: A1 OK hi"}, "Protocol: greeting: the server did not greet"},
        {"garbage",
         {"S: \x01\x02"},
         "Protocol: greeting: malformed response: invalid character in tag"},
        {"closed", {"CLOSE"}, "Closed: greeting: the server closed the connection"},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ClientTimeout, SilentServerTimesOutAndTheConnectionIsDone) {
  const auto started = std::chrono::steady_clock::now();
  const Outcome out = run_transcript(
      {kHello, "C: A1 SELECT INBOX", "STALL"},
      [](Client& c) -> asio::awaitable<std::string> {
        co_await c.greeting();
        auto first = co_await c.select("INBOX");
        auto second = co_await c.select("INBOX");
        co_return render(first.error()) + " / " + render(second.error());
      },
      ClientOptions{.timeout = 200ms});
  const auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(out.result,
            "Timeout: SELECT: timed out waiting for the server / "
            "Closed: SELECT: the connection is no longer usable");
  EXPECT_GE(elapsed, 190ms);
  EXPECT_LT(elapsed, 2s);
}

TEST(ClientLimits, OversizedLiteralIsAProtocolError) {
  ClientOptions options;
  options.limits.max_literal = 16;
  const Outcome out = run_transcript(
      {kHello, "C: A1 UID FETCH 7 (BODY.PEEK[])", "S: * 1 FETCH (BODY[] {17}", "STALL"},
      [](Client& c) -> asio::awaitable<std::string> {
        co_await c.greeting();
        auto r = co_await c.uid_fetch("7", "(BODY.PEEK[])");
        co_return r ? "fetched" : render(r.error());
      },
      options);
  EXPECT_EQ(out.result, "Protocol: UID FETCH: literal of 17 bytes exceeds the limit of 16");
}

TEST(ClientStreaming, EachFetchArrivesBeforeTheCommandEnds) {
  // The server sends two messages, then stalls before its tagged OK: both must already have
  // been handed over when the wait runs out.
  const Outcome out = run_transcript(
      {kHello, "C: A1 UID FETCH 9,7 (UID BODY.PEEK[])", R"(S: * 1 FETCH (UID 9 BODY[] "a"))",
       R"(S: * 2 FETCH (UID 7 BODY[] "b"))", "STALL"},
      [](Client& c) -> asio::awaitable<std::string> {
        co_await c.greeting();
        std::string seen;
        std::function<void(FetchData &&)> on_fetch = [&](FetchData&& f) {
          seen += fmt::format("{}={} ", f.uid.value_or(0), f.body.value_or(""));
        };
        auto r = co_await c.uid_fetch("9,7", "(UID BODY.PEEK[])", std::move(on_fetch));
        co_return seen + (r ? "ok" : render(r.error()));
      },
      ClientOptions{.timeout = 200ms});
  EXPECT_EQ(out.result, "9=a 7=b Timeout: UID FETCH: timed out waiting for the server");
}

}  // namespace
}  // namespace imap::testing
