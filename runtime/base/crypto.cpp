#include "vexa/crypto.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <cstdlib>

namespace vexa::crypto {
namespace {

std::string digest_hex(const EVP_MD* md, std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, md, nullptr) != 1) {
    std::fputs("message digest unavailable\n", stderr);
    std::abort();
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    out.push_back(kHex[digest[i] >> 4]);
    out.push_back(kHex[digest[i] & 0xf]);
  }
  return out;
}

}  // namespace

void random_bytes(std::span<std::uint8_t> out) {
  if (RAND_bytes(out.data(), static_cast<int>(out.size())) != 1) {
    std::fputs("random number generator unavailable\n", stderr);
    std::abort();
  }
}

std::string md5_hex(std::string_view bytes) { return digest_hex(EVP_md5(), bytes); }
std::string sha256_hex(std::string_view bytes) { return digest_hex(EVP_sha256(), bytes); }

}  // namespace vexa::crypto
