#pragma once
// Content-addressed blob store: blobs are named by the BLAKE3 hash of their bytes (64 lower-case
// hex digits) and live at <root>/<first 2 hex>/<64 hex>.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vexa::blobstore {

// BLAKE3 (default 32-byte output) as lower-case hex.
std::string blake3_hex(std::span<const std::uint8_t> bytes);

// True for exactly 64 lower-case hex digits.
bool is_hash_text(std::string_view text);

// The default root: $XDG_DATA_HOME/vexa/blobs (~/.local/share/vexa/blobs).
std::filesystem::path default_root();
// Tests and scenes may point the process-wide store elsewhere.
void set_root(std::filesystem::path root);
std::filesystem::path root();

std::expected<std::string, std::string> put(std::span<const std::uint8_t> bytes);
std::optional<std::vector<std::uint8_t>> get(std::string_view hash);
bool verify(std::string_view hash, std::span<const std::uint8_t> bytes);

}  // namespace vexa::blobstore
