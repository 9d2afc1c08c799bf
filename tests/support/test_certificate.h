#pragma once
// A throw-away self-signed certificate for IP 127.0.0.1 only (so "localhost" does not match),
// written to a PEM file that a client under test may be told to trust.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

namespace vexa::testing {

struct TestCertificate {
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  std::filesystem::path pem_path;

  explicit TestCertificate(const char* common_name = "Vexa test CA") {
    key = EVP_EC_gen("P-256");
    cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -60);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(common_name), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    for (const auto& [nid, value] : {std::pair{NID_basic_constraints, "critical,CA:TRUE"},
                                     std::pair{NID_subject_alt_name, "IP:127.0.0.1"}}) {
      X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
      X509_add_ext(cert, ext, -1);
      X509_EXTENSION_free(ext);
    }
    X509_sign(cert, key, EVP_sha256());
    pem_path = std::filesystem::temp_directory_path() /
               ("vexa-test-ca-" + std::to_string(::getpid()) + "-" +
                std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".pem");
    FILE* f = std::fopen(pem_path.c_str(), "w");
    PEM_write_X509(f, cert);
    std::fclose(f);
  }
  TestCertificate(const TestCertificate&) = delete;
  TestCertificate& operator=(const TestCertificate&) = delete;
  ~TestCertificate() {
    std::filesystem::remove(pem_path);
    X509_free(cert);
    EVP_PKEY_free(key);
  }
};

}  // namespace vexa::testing
