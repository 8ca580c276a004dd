// AES-128 block operation on OpenSSL's libcrypto (the native build).
#include <openssl/evp.h>

#include <memory>

#include "core/AesBlock.h"
#include "core/Exception.h"

namespace cvl {
namespace {

struct TCipherCtxFree {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using TCipherCtx = std::unique_ptr<EVP_CIPHER_CTX, TCipherCtxFree>;

class TOpenSslAes128Block final : public TAes128Block {
 public:
  explicit TOpenSslAes128Block(const TAesBlockBytes& key)
      : FEncrypt(MakeContext(key, 1)), FDecrypt(MakeContext(key, 0)) {}

  TAesBlockBytes Encrypt(const TAesBlockBytes& block) override { return Run(FEncrypt.get(), block); }
  TAesBlockBytes Decrypt(const TAesBlockBytes& block) override { return Run(FDecrypt.get(), block); }

 private:
  static TCipherCtx MakeContext(const TAesBlockBytes& key, int encrypt) {
    TCipherCtx ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_CipherInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, key.data(), nullptr, encrypt) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) {
      throw Exception("ECryptoError", u"AES-128 is not available");
    }
    return ctx;
  }

  static TAesBlockBytes Run(EVP_CIPHER_CTX* ctx, const TAesBlockBytes& block) {
    TAesBlockBytes out{};
    int written = 0;
    if (EVP_CipherUpdate(ctx, out.data(), &written, block.data(), static_cast<int>(block.size())) != 1 ||
        written != static_cast<int>(out.size())) {
      throw Exception("ECryptoError", u"AES-128 block operation failed");
    }
    return out;
  }

  TCipherCtx FEncrypt;
  TCipherCtx FDecrypt;
};

}  // namespace

std::unique_ptr<TAes128Block> CreateAes128Block(const TAesBlockBytes& key) {
  return std::make_unique<TOpenSslAes128Block>(key);
}

}  // namespace cvl
