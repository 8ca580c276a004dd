// SHA-256 on OpenSSL's libcrypto, for the native build.
#include <openssl/evp.h>

#include "Sha256.h"
#include "ToolSupport.h"

namespace cvl {

struct TSha256::TState {
  EVP_MD_CTX* Context = nullptr;
  ~TState() { EVP_MD_CTX_free(Context); }
};

TSha256::TSha256() : FState(std::make_unique<TState>()) {
  FState->Context = EVP_MD_CTX_new();
  if (FState->Context == nullptr || EVP_DigestInit_ex(FState->Context, EVP_sha256(), nullptr) != 1) {
    throw EBadInput(u"SHA-256 is not available from OpenSSL");
  }
}

TSha256::~TSha256() = default;

void TSha256::Update(std::string_view bytes) {
  if (EVP_DigestUpdate(FState->Context, bytes.data(), bytes.size()) != 1) throw EBadInput(u"SHA-256 failed");
}

TSha256Digest TSha256::Finish() {
  TSha256Digest digest{};
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(FState->Context, digest.data(), &size) != 1 || size != digest.size()) {
    throw EBadInput(u"SHA-256 failed");
  }
  return digest;
}

}  // namespace cvl
