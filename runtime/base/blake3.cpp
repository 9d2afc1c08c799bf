// BLAKE3 with the default 32-byte output, hashing the whole input at once. The input is split
// into 1024-byte chunks; chunks are combined pairwise into a binary tree whose left subtrees are
// always complete powers of two, and the root node's compression carries the ROOT flag.
#include <algorithm>
#include <array>
#include <cstring>

#include "vexa/blobstore.h"

namespace vexa::blobstore {
namespace {

constexpr std::array<std::uint32_t, 8> kIv = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                                              0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};
constexpr std::array<std::size_t, 16> kPermutation = {2, 6,  3,  10, 7, 0,  4,  13,
                                                      1, 11, 12, 5,  9, 14, 15, 8};
constexpr std::size_t kBlockLen = 64;
constexpr std::size_t kChunkLen = 1024;
constexpr std::uint32_t kChunkStart = 1;
constexpr std::uint32_t kChunkEnd = 2;
constexpr std::uint32_t kParent = 4;
constexpr std::uint32_t kRoot = 8;

using Words8 = std::array<std::uint32_t, 8>;
using Words16 = std::array<std::uint32_t, 16>;

constexpr std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

inline void g(Words16& s, int a, int b, int c, int d, std::uint32_t mx, std::uint32_t my) {
  s[a] = s[a] + s[b] + mx;
  s[d] = rotr(s[d] ^ s[a], 16);
  s[c] = s[c] + s[d];
  s[b] = rotr(s[b] ^ s[c], 12);
  s[a] = s[a] + s[b] + my;
  s[d] = rotr(s[d] ^ s[a], 8);
  s[c] = s[c] + s[d];
  s[b] = rotr(s[b] ^ s[c], 7);
}

Words16 compress(const Words8& cv, const Words16& block, std::uint64_t counter,
                 std::uint32_t block_len, std::uint32_t flags) {
  Words16 s = {cv[0],
               cv[1],
               cv[2],
               cv[3],
               cv[4],
               cv[5],
               cv[6],
               cv[7],
               kIv[0],
               kIv[1],
               kIv[2],
               kIv[3],
               static_cast<std::uint32_t>(counter),
               static_cast<std::uint32_t>(counter >> 32),
               block_len,
               flags};
  Words16 m = block;
  for (int round = 0; round < 7; ++round) {
    g(s, 0, 4, 8, 12, m[0], m[1]);
    g(s, 1, 5, 9, 13, m[2], m[3]);
    g(s, 2, 6, 10, 14, m[4], m[5]);
    g(s, 3, 7, 11, 15, m[6], m[7]);
    g(s, 0, 5, 10, 15, m[8], m[9]);
    g(s, 1, 6, 11, 12, m[10], m[11]);
    g(s, 2, 7, 8, 13, m[12], m[13]);
    g(s, 3, 4, 9, 14, m[14], m[15]);
    if (round < 6) {
      Words16 permuted;
      for (std::size_t i = 0; i < 16; ++i) permuted[i] = m[kPermutation[i]];
      m = permuted;
    }
  }
  for (std::size_t i = 0; i < 8; ++i) {
    s[i] ^= s[i + 8];
    s[i + 8] ^= cv[i];
  }
  return s;
}

Words16 load_block(const std::uint8_t* bytes, std::size_t len) {
  std::array<std::uint8_t, kBlockLen> padded{};
  if (len > 0) std::memcpy(padded.data(), bytes, len);
  Words16 words;
  for (std::size_t i = 0; i < 16; ++i) {
    words[i] = static_cast<std::uint32_t>(padded[4 * i]) |
               static_cast<std::uint32_t>(padded[4 * i + 1]) << 8 |
               static_cast<std::uint32_t>(padded[4 * i + 2]) << 16 |
               static_cast<std::uint32_t>(padded[4 * i + 3]) << 24;
  }
  return words;
}

// The last compression of a node, held back until we know whether the node is the root.
struct Output {
  Words8 cv;
  Words16 block;
  std::uint64_t counter;
  std::uint32_t block_len;
  std::uint32_t flags;

  Words8 chaining_value() const {
    const Words16 s = compress(cv, block, counter, block_len, flags);
    Words8 out;
    std::copy_n(s.begin(), 8, out.begin());
    return out;
  }
  Words8 root_words() const {
    const Words16 s = compress(cv, block, 0, block_len, flags | kRoot);
    Words8 out;
    std::copy_n(s.begin(), 8, out.begin());
    return out;
  }
};

Output chunk_output(const std::uint8_t* bytes, std::size_t len, std::uint64_t chunk_index) {
  Words8 cv = kIv;
  std::uint32_t start = kChunkStart;
  // Every full block but the last is compressed now; an empty chunk is one empty block.
  while (len > kBlockLen) {
    const Words16 s = compress(cv, load_block(bytes, kBlockLen), chunk_index, kBlockLen, start);
    std::copy_n(s.begin(), 8, cv.begin());
    start = 0;
    bytes += kBlockLen;
    len -= kBlockLen;
  }
  return Output{cv, load_block(bytes, len), chunk_index, static_cast<std::uint32_t>(len),
                start | kChunkEnd};
}

Output parent_output(const Words8& left, const Words8& right) {
  Words16 block;
  std::copy(left.begin(), left.end(), block.begin());
  std::copy(right.begin(), right.end(), block.begin() + 8);
  return Output{kIv, block, 0, static_cast<std::uint32_t>(kBlockLen), kParent};
}

Output subtree_output(const std::uint8_t* bytes, std::size_t len, std::uint64_t chunk_index) {
  if (len <= kChunkLen) return chunk_output(bytes, len, chunk_index);
  // The left subtree takes the largest power-of-two number of chunks that leaves the right
  // subtree at least one byte.
  std::size_t left_len = kChunkLen;
  while (left_len * 2 < len) left_len *= 2;
  const Output left = subtree_output(bytes, left_len, chunk_index);
  const Output right =
      subtree_output(bytes + left_len, len - left_len, chunk_index + left_len / kChunkLen);
  return parent_output(left.chaining_value(), right.chaining_value());
}

}  // namespace

std::string blake3_hex(std::span<const std::uint8_t> bytes) {
  const Words8 words = subtree_output(bytes.data(), bytes.size(), 0).root_words();
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(64);
  for (const std::uint32_t word : words) {
    for (int byte = 0; byte < 4; ++byte) {
      const std::uint8_t b = static_cast<std::uint8_t>(word >> (8 * byte));
      hex.push_back(kHex[b >> 4]);
      hex.push_back(kHex[b & 0xF]);
    }
  }
  return hex;
}

bool is_hash_text(std::string_view text) {
  if (text.size() != 64) return false;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace vexa::blobstore
