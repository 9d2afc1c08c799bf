// Raw message bytes into MailMessage. Whatever the bytes, the record must be usable as it stands:
// every text valid UTF-8, bodies without NUL, attachments consistent with their content, and the
// same record from the same bytes (the identity of a message without Message-ID included).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/mime_message.h"
#include "vexa/utf8.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "mime_message_fuzz: %s\n", what);
  std::abort();
}

void check_text(std::string_view text, const char* what) {
  check(vexa::utf8::is_valid(text), what);
}

void check_address(const mail::MailAddress& a) {
  check_text(a.address, "address is not UTF-8");
  if (a.name) check_text(*a.name, "display name is not UTF-8");
}

void check_record(const mail::MailMessage& m) {
  check_address(m.from);
  for (const auto& a : m.to) check_address(a);
  for (const auto& a : m.cc) check_address(a);
  check_text(m.subject, "subject is not UTF-8");
  check_text(m.body_text, "body is not UTF-8");
  check(m.body_text.find('\0') == std::string::npos, "body holds NUL");
  if (m.html) {
    check_text(*m.html, "html is not UTF-8");
    check(m.html->find('\0') == std::string::npos, "html holds NUL");
  }
  if (m.message_id) check_text(*m.message_id, "message_id is not UTF-8");
  if (m.thread_key) check_text(*m.thread_key, "thread_key is not UTF-8");
  check(m.labels.empty(), "labels from the engine");
  for (const mail::MessageAttachment& a : m.attachments) {
    check(!a.filename.empty(), "attachment without a name");
    check_text(a.filename, "attachment name is not UTF-8");
    check(a.mime.find('/') != std::string::npos && a.mime.size() <= 127, "attachment type");
    check(a.size == a.content.size(), "attachment size differs from its content");
    check(a.downloaded == (a.size != 0), "attachment downloaded flag");
    check(!a.text, "attachment text from the engine");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const mail::MailMessage first =
      mail::engine::build_mail_message(raw, mail::FolderRole::Inbox, false, false, std::nullopt, 0);
  check_record(first);
  const mail::MailMessage second =
      mail::engine::build_mail_message(raw, mail::FolderRole::Inbox, false, false, std::nullopt, 0);
  check(first == second, "the same bytes gave another record");
  return 0;
}

#include "fuzz_replay.h"
