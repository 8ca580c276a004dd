// ECDSA P-256 and SHA-256 on OpenSSL's libcrypto (the native build).
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>
#include <string>

#include "core/EcdsaP256.h"
#include "core/Exception.h"
#include "core/UpdateSignature.h"

namespace cvl {
namespace {

template <auto Free>
struct TFreeWith {
  template <class T>
  void operator()(T* p) const { Free(p); }
};
using TMdCtx = std::unique_ptr<EVP_MD_CTX, TFreeWith<EVP_MD_CTX_free>>;
using TPkey = std::unique_ptr<EVP_PKEY, TFreeWith<EVP_PKEY_free>>;
using TPkeyCtx = std::unique_ptr<EVP_PKEY_CTX, TFreeWith<EVP_PKEY_CTX_free>>;
using TParamBld = std::unique_ptr<OSSL_PARAM_BLD, TFreeWith<OSSL_PARAM_BLD_free>>;
using TParams = std::unique_ptr<OSSL_PARAM, TFreeWith<OSSL_PARAM_free>>;
using TBignum = std::unique_ptr<BIGNUM, TFreeWith<BN_clear_free>>;

[[noreturn]] void Fail(const char16_t* what) { throw Exception("ECryptoError", what); }

constexpr char kCurveName[] = "prime256v1";

std::string EncodedPoint(const TP256Point& point) {
  return std::string(1, '\x04') + std::string(reinterpret_cast<const char*>(point.data()), point.size());
}

// A key from its parts: the public point, and the private number when signing.
TPkey MakeKey(const TP256Point& point, const TP256Scalar* secret) {
  TParamBld builder(OSSL_PARAM_BLD_new());
  const std::string encoded = EncodedPoint(point);
  TBignum number(secret ? BN_bin2bn(secret->data(), static_cast<int>(secret->size()), nullptr) : nullptr);
  if (!builder || (secret && !number) ||
      !OSSL_PARAM_BLD_push_utf8_string(builder.get(), OSSL_PKEY_PARAM_GROUP_NAME, kCurveName, 0) ||
      !OSSL_PARAM_BLD_push_octet_string(builder.get(), OSSL_PKEY_PARAM_PUB_KEY, encoded.data(), encoded.size()) ||
      (secret && !OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_PRIV_KEY, number.get()))) {
    Fail(u"ECDSA P-256 key setup failed");
  }
  TParams params(OSSL_PARAM_BLD_to_param(builder.get()));
  TPkeyCtx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* key = nullptr;
  if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
      EVP_PKEY_fromdata(ctx.get(), &key, secret ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
    Fail(u"the ECDSA P-256 key is not accepted");
  }
  return TPkey(key);
}

// A context for signing or verifying SHA-256 digests with the key.
TPkeyCtx DigestContext(EVP_PKEY* key, bool sign) {
  TPkeyCtx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
  if (!ctx || (sign ? EVP_PKEY_sign_init(ctx.get()) : EVP_PKEY_verify_init(ctx.get())) != 1 ||
      EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha256()) != 1) {
    Fail(u"ECDSA P-256 is not available");
  }
  return ctx;
}

class TOpenSslSha256 final : public TSha256 {
 public:
  TOpenSslSha256() : FCtx(EVP_MD_CTX_new()) {
    if (!FCtx || EVP_DigestInit_ex(FCtx.get(), EVP_sha256(), nullptr) != 1) Fail(u"SHA-256 is not available");
  }
  void Update(const std::uint8_t* data, std::size_t size) override {
    if (EVP_DigestUpdate(FCtx.get(), data, size) != 1) Fail(u"SHA-256 failed");
  }
  TSha256Digest Finish() override {
    TSha256Digest digest{};
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(FCtx.get(), digest.data(), &size) != 1 || size != digest.size()) Fail(u"SHA-256 failed");
    return digest;
  }

 private:
  TMdCtx FCtx;
};

class TOpenSslP256PublicKey final : public TEcdsaP256PublicKey {
 public:
  explicit TOpenSslP256PublicKey(const TP256Point& point) : FKey(MakeKey(point, nullptr)) {}

  bool Verify(const TSha256Digest& digest, const TP256Signature& signature) override {
    const std::string der = EncodeDerSignature(signature);
    const TPkeyCtx ctx = DigestContext(FKey.get(), false);
    return EVP_PKEY_verify(ctx.get(), reinterpret_cast<const unsigned char*>(der.data()), der.size(), digest.data(),
                           digest.size()) == 1;
  }

 private:
  TPkey FKey;
};

}  // namespace

std::unique_ptr<TSha256> CreateSha256() { return std::make_unique<TOpenSslSha256>(); }

std::unique_ptr<TEcdsaP256PublicKey> CreateEcdsaP256PublicKey(const TP256Point& point) {
  return std::make_unique<TOpenSslP256PublicKey>(point);
}

TP256PrivateKey GenerateEcdsaP256Key() {
  TPkey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  if (!key) Fail(u"no ECDSA P-256 key could be made");
  BIGNUM* secret = nullptr;
  if (EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_PRIV_KEY, &secret) != 1) Fail(u"the new key cannot be read");
  const TBignum secretOwner(secret);
  TP256PrivateKey result;
  std::array<unsigned char, 65> encoded{};
  std::size_t encodedSize = 0;
  if (BN_bn2binpad(secret, result.D.data(), static_cast<int>(result.D.size())) != static_cast<int>(result.D.size()) ||
      EVP_PKEY_get_octet_string_param(key.get(), OSSL_PKEY_PARAM_PUB_KEY, encoded.data(), encoded.size(),
                                      &encodedSize) != 1 ||
      encodedSize != encoded.size() || encoded[0] != 0x04) {
    Fail(u"the new key cannot be read");
  }
  std::copy(encoded.begin() + 1, encoded.end(), result.Public.begin());
  return result;
}

TP256Signature SignEcdsaP256(const TP256PrivateKey& key, const TSha256Digest& digest) {
  const TPkey pkey = MakeKey(key.Public, &key.D);
  const TPkeyCtx ctx = DigestContext(pkey.get(), true);
  std::string der(80, '\0');
  std::size_t size = der.size();
  if (EVP_PKEY_sign(ctx.get(), reinterpret_cast<unsigned char*>(der.data()), &size, digest.data(), digest.size()) != 1) {
    Fail(u"signing failed");
  }
  der.resize(size);
  const auto signature = ParseDerSignature(der);
  if (!signature) Fail(u"signing gave no valid signature");
  return *signature;
}

}  // namespace cvl
