#include "engine/smtp_submission.h"

#include <curl/curl.h>
#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "engine/envelope.h"
#include "engine/failure_classification.h"
#include "mailbox/ascii_text.h"

namespace mail::engine {
namespace {

// The name we greet with. A fixed name keeps the machine's own host name out of every server's
// logs, and servers must not refuse mail for it.
constexpr std::string_view kEhloName = "localhost";
constexpr std::uint16_t kImplicitTlsPort = 465;
// A server reply quoted in an error text is cut here; it is display text, not evidence.
constexpr std::size_t kMaxReplyQuote = 300;
// The rejecting reply is followed at most by the answer to QUIT.
constexpr std::size_t kKeptReplies = 4;

struct EasyDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

CURLcode global_init() {
  static std::once_flag once;
  static CURLcode result = CURLE_OK;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return result;
}

bool is_host_char(unsigned char c) {
  return c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_';
}

bool is_ipv6_char(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
         c == '.';
}

// The host goes into a URL: anything that could change its meaning ("@" makes a user name, "/"
// starts a path) is refused rather than escaped. IPv6 literals get their brackets.
std::optional<std::string> url_host(std::string_view host) {
  std::string_view literal = host;
  if (literal.size() > 2 && literal.front() == '[' && literal.back() == ']') {
    literal = literal.substr(1, literal.size() - 2);
  }
  if (literal.find(':') != std::string_view::npos) {
    if (!std::ranges::all_of(literal, [](char c) { return is_ipv6_char(c); })) return std::nullopt;
    return fmt::format("[{}]", literal);
  }
  if (literal != host || !std::ranges::all_of(host, [](char c) { return is_host_char(c); })) {
    return std::nullopt;
  }
  return std::string(host);
}

std::string smtp_url(const std::string& host, std::uint16_t port) {
  if (port == 0 || port == kImplicitTlsPort) {
    return fmt::format("smtps://{}:{}/{}", host, kImplicitTlsPort, kEhloName);
  }
  return fmt::format("smtp://{}:{}/{}", host, port, kEhloName);
}

struct Upload {
  std::string_view bytes;
  std::size_t offset = 0;
};

std::size_t read_message(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto* upload = static_cast<Upload*>(user);
  const std::size_t n = std::min(size * count, upload->bytes.size() - upload->offset);
  std::memcpy(buffer, upload->bytes.data() + upload->offset, n);
  upload->offset += n;
  return n;
}

// What the debug stream tells about the session. Only the server's replies are kept; of our
// own lines just the bare STARTTLS command is recognised, the others carry the credentials.
struct Transcript {
  std::vector<std::string> replies;  // last line of each reply, newest last
  bool upgrading = false;            // STARTTLS sent and no command since
};

int follow_transcript(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
  auto* transcript = static_cast<Transcript*>(user);
  std::string_view text(data, size);
  if (type == CURLINFO_HEADER_OUT) {
    transcript->upgrading = trim_ascii(text) == "STARTTLS";
    return 0;
  }
  if (type != CURLINFO_HEADER_IN) return 0;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = trim_ascii(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.size() >= 3 && (line.size() == 3 || line[3] == ' ')) {
      transcript->replies.emplace_back(line);
      if (transcript->replies.size() > kKeptReplies) {
        transcript->replies.erase(transcript->replies.begin());
      }
    }
  }
  return 0;
}

// Server text is shown to the user: no control characters, bounded length, whole UTF-8
// characters only.
std::string printable_reply(std::string_view reply) {
  std::string out;
  for (char ch : reply.substr(0, kMaxReplyQuote)) {
    const auto c = static_cast<unsigned char>(ch);
    out += (c < 0x20 || c == 0x7f) ? ' ' : ch;
  }
  if (reply.size() > kMaxReplyQuote) {
    while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80) out.pop_back();
    if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xC0) out.pop_back();
  }
  return out;
}

// libcurl's own text says what step failed; a rejecting server's reply (the code and its line)
// says why, and libcurl keeps that only in the transcript. A failed connect names the system
// error only through the errno. Whatever breaks between STARTTLS and the next command (a
// handshake that stalls, plain text where TLS records belong) is a failed upgrade.
std::string failure_text(CURL* curl, CURLcode rc, const char* error_buffer,
                         const Transcript& transcript) {
  std::string text = error_buffer[0] != '\0' ? error_buffer : curl_easy_strerror(rc);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (transcript.upgrading) text = fmt::format("STARTTLS failed: {}", text);

  long os_errno = 0;
  if (curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &os_errno) == CURLE_OK && os_errno != 0 &&
      (rc == CURLE_COULDNT_CONNECT || rc == CURLE_COULDNT_RESOLVE_HOST)) {
    const std::string reason =
        std::error_code(static_cast<int>(os_errno), std::generic_category()).message();
    if (text.find(reason) == std::string::npos) text += fmt::format(": {}", reason);
  }

  long code = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
  if (code >= 400) {
    const std::string code_text = std::to_string(code);
    const auto reply =
        std::ranges::find_if(transcript.replies.rbegin(), transcript.replies.rend(),
                             [&](const std::string& line) { return line.starts_with(code_text); });
    text += fmt::format(" ({})",
                        reply != transcript.replies.rend() ? printable_reply(*reply) : code_text);
  }
  return text;
}

long whole_seconds_at_least_one(std::chrono::milliseconds wait) {
  return std::max<long>(1, static_cast<long>((wait.count() + 999) / 1000));
}

// Everything the two uses share: the URL, required TLS with verified roots, exactly one SASL
// mechanism, the bounded waits and the transcript. The caller has checked the host.
void prepare_session(CURL* curl, const std::string& url, const Credential& credential,
                     const SmtpOptions& options, char* error_buffer, Transcript& transcript) {
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_buffer);
  // Worker threads must not get SIGALRM from the resolver's time-out.
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);

  // On the plain port the upgrade must succeed before anything else is said: without this,
  // libcurl would carry on in clear text to a server that offers no STARTTLS.
  curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!options.tls.ca_file.empty())
    curl_easy_setopt(curl, CURLOPT_CAINFO, options.tls.ca_file.c_str());
  if (!options.tls.ca_dir.empty())
    curl_easy_setopt(curl, CURLOPT_CAPATH, options.tls.ca_dir.c_str());

  // One mechanism only, so a server cannot steer us to another one.
  curl_easy_setopt(curl, CURLOPT_USERNAME, credential.login.c_str());
  if (credential.kind == Credential::OAuth) {
    curl_easy_setopt(curl, CURLOPT_LOGIN_OPTIONS, "AUTH=XOAUTH2");
    curl_easy_setopt(curl, CURLOPT_XOAUTH2_BEARER, credential.secret.c_str());
  } else {
    curl_easy_setopt(curl, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
    curl_easy_setopt(curl, CURLOPT_PASSWORD, credential.secret.c_str());
  }

  // The connect phase (TCP, TLS, greeting, EHLO, STARTTLS, AUTH) shares one step; each later
  // reply gets its own; a transfer that stops moving for a step ends. libcurl counts the last
  // two in whole seconds.
  const long step_ms = std::max<long>(1, static_cast<long>(options.step_timeout.count()));
  const long step_s = whole_seconds_at_least_one(options.step_timeout);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, step_ms);
  curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, step_s);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, step_s);

  // The transcript is the only place libcurl puts a rejecting server's reply text.
  curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, follow_transcript);
  curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &transcript);
}

struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

enum class Stopped : std::uint8_t { No, Cancelled, TimedOut };

// Runs the transfer on a multi handle in slices of at most 50 ms, so that a raised cancel flag
// or the deadline ends it promptly even while a server says nothing.
CURLcode perform_watched(CURL* curl, const ProbeControl& control, Stopped& stopped) {
  std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  if (!multi) return CURLE_OUT_OF_MEMORY;
  if (curl_multi_add_handle(multi.get(), curl) != CURLM_OK) return CURLE_FAILED_INIT;
  CURLcode result = CURLE_OK;
  for (;;) {
    if (control.cancel != nullptr && control.cancel->load()) {
      stopped = Stopped::Cancelled;
      break;
    }
    if (std::chrono::steady_clock::now() >= control.deadline) {
      stopped = Stopped::TimedOut;
      break;
    }
    int running = 0;
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    if (running == 0) {
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
        if (message->msg == CURLMSG_DONE) result = message->data.result;
      }
      break;
    }
    curl_multi_poll(multi.get(), nullptr, 0, 50, nullptr);
  }
  curl_multi_remove_handle(multi.get(), curl);
  return result;
}

// The handle and URL for the account's server; the host is checked before anything else.
struct Session {
  std::unique_ptr<CURL, EasyDeleter> handle;
  std::string url;
  std::string_view host;
};

std::expected<Session, std::string> open_session(const StoredConfig& account) {
  const std::string_view host = trim_ascii(account.smtp_host);
  if (host.empty()) return std::unexpected(std::string("no SMTP host"));
  // A host that cannot be written as one is a host that cannot be found.
  const auto host_in_url = url_host(host);
  if (!host_in_url) {
    return std::unexpected(classify_connection_failure("could not resolve the host name"));
  }
  if (const CURLcode init = global_init(); init != CURLE_OK) {
    return std::unexpected(classify_connection_failure(curl_easy_strerror(init)));
  }
  std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
  if (!handle) {
    return std::unexpected(classify_connection_failure("could not start the SMTP client"));
  }
  return Session{std::move(handle), smtp_url(*host_in_url, account.smtp_port), host};
}

}  // namespace

std::expected<std::uint64_t, std::string> submit_message(const StoredConfig& account,
                                                         const Credential& credential,
                                                         const DraftData& draft,
                                                         std::string_view message,
                                                         const SmtpOptions& options) {
  auto session = open_session(account);
  if (!session) return std::unexpected(session.error());
  // The envelope is checked before any connection is made.
  auto envelope = build_envelope(account, draft);
  if (!envelope) return std::unexpected(envelope.error());

  CURL* curl = session->handle.get();
  char error_buffer[CURL_ERROR_SIZE] = {};
  Transcript transcript;
  Upload upload{.bytes = message};
  prepare_session(curl, session->url, credential, options, error_buffer, transcript);

  curl_easy_setopt(curl, CURLOPT_MAIL_FROM, envelope->from.c_str());
  curl_slist* recipients = nullptr;
  for (const std::string& recipient : envelope->recipients) {
    curl_slist* grown = curl_slist_append(recipients, recipient.c_str());
    if (grown == nullptr) {
      curl_slist_free_all(recipients);
      return std::unexpected(classify_connection_failure(curl_easy_strerror(CURLE_OUT_OF_MEMORY)));
    }
    recipients = grown;
  }
  const std::unique_ptr<curl_slist, ListDeleter> recipient_list(recipients);
  curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipient_list.get());

  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, read_message);
  curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));

  const CURLcode rc = curl_easy_perform(curl);
  if (rc != CURLE_OK) {
    return std::unexpected(classify_connection_failure(
        failure_text(curl, rc, error_buffer, transcript), session->host));
  }
  return message.size();
}

std::expected<void, std::string> verify_smtp_login(const StoredConfig& account,
                                                   const Credential& credential,
                                                   const SmtpOptions& options,
                                                   const ProbeControl& control) {
  auto session = open_session(account);
  if (!session) return std::unexpected(session.error());
  CURL* curl = session->handle.get();
  char error_buffer[CURL_ERROR_SIZE] = {};
  Transcript transcript;
  prepare_session(curl, session->url, credential, options, error_buffer, transcript);
  // The connect phase ends after AUTH: the login is proven and nothing is sent.
  curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);

  Stopped stopped = Stopped::No;
  const CURLcode rc = perform_watched(curl, control, stopped);
  if (stopped == Stopped::Cancelled) return std::unexpected(std::string(kProbeCancelled));
  if (stopped == Stopped::TimedOut) return std::unexpected(std::string(kProbeTimedOut));
  if (rc != CURLE_OK) {
    return std::unexpected(classify_connection_failure(
        failure_text(curl, rc, error_buffer, transcript), session->host));
  }
  return {};
}

}  // namespace mail::engine
