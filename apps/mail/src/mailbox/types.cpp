#include "mailbox/types.h"

#include <cstdio>
#include <cstdlib>

#include "vexa/crypto.h"

namespace mail {

namespace {

struct FolderInfo {
  std::string_view display;
  std::string_view key;
  std::string_view mailbox;
  std::string_view criteria;
};

constexpr std::array<FolderInfo, 7> kFolders = {{
    {"Inbox", "inbox", "INBOX", "ALL"},
    {"Starred", "starred", "INBOX", "FLAGGED"},
    {"Sent", "sent", "Sent", "ALL"},
    {"Drafts", "drafts", "Drafts", "ALL"},
    {"Archive", "archive", "Archive", "ALL"},
    {"Trash", "trash", "Trash", "ALL"},
    {"Junk", "junk", "Junk", "ALL"},
}};

const FolderInfo& info(FolderRole role) { return kFolders[static_cast<std::size_t>(role)]; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string_view display_name(FolderRole role) { return info(role).display; }
std::string_view folder_key(FolderRole role) { return info(role).key; }
std::string_view imap_mailbox(FolderRole role) { return info(role).mailbox; }
std::string_view search_criteria(FolderRole role) { return info(role).criteria; }

std::optional<FolderRole> parse_folder_key(std::string_view key) {
  for (std::size_t i = 0; i < kFolders.size(); ++i) {
    if (kFolders[i].key == key) return static_cast<FolderRole>(i);
  }
  return std::nullopt;
}

std::optional<FolderRole> folder_from_code(std::uint8_t code) {
  if (code < kFolders.size()) return static_cast<FolderRole>(code);
  return std::nullopt;
}

Uuid new_uuid_v4() {
  Uuid id{};
  vexa::crypto::random_bytes(id);
  id[6] = static_cast<std::uint8_t>((id[6] & 0x0f) | 0x40);
  id[8] = static_cast<std::uint8_t>((id[8] & 0x3f) | 0x80);
  return id;
}

std::string uuid_text(const Uuid& id) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(36);
  for (std::size_t i = 0; i < id.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
    out.push_back(kHex[id[i] >> 4]);
    out.push_back(kHex[id[i] & 0x0f]);
  }
  return out;
}

std::optional<Uuid> parse_uuid(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  Uuid id{};
  std::size_t byte = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    int hi = hex_value(text[i]);
    int lo = hex_value(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    id[byte++] = static_cast<std::uint8_t>(hi << 4 | lo);
    i += 2;
  }
  return id;
}

MessageId message_id_from_header(std::string_view header) {
  std::string_view s = trim(header);
  while (!s.empty() && s.front() == '<') s.remove_prefix(1);
  while (!s.empty() && s.back() == '>') s.remove_suffix(1);
  return fnv_identity(s);
}

MessageId fnv_identity(std::string_view s) {
  constexpr std::uint64_t kPrime = 0x100000001b3ULL;
  std::uint64_t a = 0xcbf29ce484222325ULL;
  std::uint64_t b = 0x0102030405060708ULL;
  for (unsigned char c : s) {
    a = (a ^ c) * kPrime;
    b = (b ^ c) * kPrime;
  }
  MessageId id{};
  for (int i = 0; i < 8; ++i) {
    id[i] = static_cast<std::uint8_t>(a >> (56 - 8 * i));
    id[8 + i] = static_cast<std::uint8_t>(b >> (56 - 8 * i));
  }
  return id;
}

}  // namespace mail
