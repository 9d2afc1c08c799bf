#pragma once
// A MailMessage as JSON, the one shape every test tool prints and every corpus record is written
// in. Attachment content is identified by its SHA-256 and, where asked for, carried as Base64:
// attachment bytes are arbitrary, and JSON text must be UTF-8.
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <nlohmann/json.hpp>
#include <string>

#include "mailbox/types.h"

namespace vexa::testing {

inline std::string sha256_hex(const std::vector<std::uint8_t>& bytes) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(bytes.data(), bytes.size(), digest);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : digest) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out;
}

inline std::string base64(const std::vector<std::uint8_t>& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3), '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes.data(),
                                static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

inline nlohmann::json address_json(const mail::MailAddress& a) {
  return {{"address", a.address}, {"name", a.name ? nlohmann::json(*a.name) : nullptr}};
}

inline nlohmann::json record_json(const mail::MailMessage& m, bool with_content) {
  using nlohmann::json;
  json to = json::array(), cc = json::array(), attachments = json::array();
  for (const auto& a : m.to) to.push_back(address_json(a));
  for (const auto& a : m.cc) cc.push_back(address_json(a));
  for (const auto& a : m.attachments) {
    json entry = {{"filename", a.filename},
                  {"mime", a.mime},
                  {"size", a.size},
                  {"sha256", sha256_hex(a.content)}};
    if (with_content) entry["content_base64"] = base64(a.content);
    attachments.push_back(std::move(entry));
  }
  const auto opt = [](const std::optional<std::string>& v) { return v ? json(*v) : json(nullptr); };
  return {{"from", address_json(m.from)},
          {"to", to},
          {"cc", cc},
          {"subject", m.subject},
          {"body_text", m.body_text},
          {"html", opt(m.html)},
          {"attachments", attachments},
          {"message_id", opt(m.message_id)},
          {"thread_key", opt(m.thread_key)},
          {"id", mail::uuid_text(m.id)},
          {"time", m.time},
          {"seen", m.seen},
          {"starred", m.starred},
          {"folder", std::string(mail::folder_key(m.folder))}};
}

}  // namespace vexa::testing
