#pragma once
// Mail types shared by every module: folder roles, addresses, attachments and the message
// record the engine builds and the window side uses unchanged.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mail {

enum class FolderRole : std::uint8_t {
  Inbox = 0,
  Starred = 1,
  Sent = 2,
  Drafts = 3,
  Archive = 4,
  Trash = 5,
  Junk = 6,
};

inline constexpr std::array<FolderRole, 7> kAllFolders = {
    FolderRole::Inbox,   FolderRole::Starred, FolderRole::Sent, FolderRole::Drafts,
    FolderRole::Archive, FolderRole::Trash,   FolderRole::Junk};

std::string_view display_name(FolderRole role);
std::string_view folder_key(FolderRole role);
std::string_view imap_mailbox(FolderRole role);
std::string_view search_criteria(FolderRole role);
// Exact, case-sensitive match against the lower-case keys.
std::optional<FolderRole> parse_folder_key(std::string_view key);
std::optional<FolderRole> folder_from_code(std::uint8_t code);
inline std::uint8_t code(FolderRole role) { return static_cast<std::uint8_t>(role); }

// 128-bit identity of messages and requests.
using Uuid = std::array<std::uint8_t, 16>;
using MessageId = Uuid;

// A fresh random version-4 UUID.
Uuid new_uuid_v4();
// Hyphenated lower-case text (36 characters).
std::string uuid_text(const Uuid& id);
// Accepts the hyphenated form in either case; nullopt for anything else.
std::optional<Uuid> parse_uuid(std::string_view text);

struct MailAddress {
  std::string address;
  std::optional<std::string> name;
  friend bool operator==(const MailAddress&, const MailAddress&) = default;
};

struct MessageAttachment {
  std::string filename;
  std::string mime;
  std::vector<std::uint8_t> content;
  std::optional<std::string> text;  // always absent from the engine
  std::uint64_t size = 0;
  bool downloaded = false;
  friend bool operator==(const MessageAttachment&, const MessageAttachment&) = default;
};

struct MailMessage {
  MailAddress from;
  std::vector<MailAddress> to;
  std::vector<MailAddress> cc;
  std::string subject;
  std::string body_text;
  std::vector<MessageAttachment> attachments;
  std::vector<std::string> labels;
  std::optional<std::string> message_id;
  std::optional<std::string> thread_key;
  std::optional<std::string> html;
  MessageId id{};
  std::int64_t time = 0;  // minutes since the Unix epoch
  bool seen = false;
  bool starred = false;
  FolderRole folder = FolderRole::Inbox;
  friend bool operator==(const MailMessage&, const MailMessage&) = default;
};

// Two FNV-1a 64-bit hashes of the bytes (prime 0x100000001b3, offsets 0xcbf29ce484222325 and
// 0x0102030405060708), each big-endian.
MessageId fnv_identity(std::string_view bytes);

// Identity from a Message-ID header: trimmed, leading '<' and trailing '>' removed, then
// fnv_identity.
MessageId message_id_from_header(std::string_view message_id_header);

}  // namespace mail
