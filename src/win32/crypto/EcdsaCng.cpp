// SHA-256 and ECDSA P-256 signature checks on Windows CNG (bcrypt), the launcher's.
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "CngHandles.h"
#include "core/EcdsaP256.h"

namespace cvl {
namespace {

class TCngSha256 final : public TSha256 {
 public:
  TCngSha256() : FAlgorithm(OpenCngAlgorithm(BCRYPT_SHA256_ALGORITHM, u"SHA-256 is not available")) {
    // The hash object's size differs between Windows versions and Wine: ask.
    DWORD objectLength = 0;
    ULONG got = 0;
    if (!CngSucceeded(BCryptGetProperty(FAlgorithm.Get(), BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                                        sizeof(objectLength), &got, 0))) {
      CngFail(u"SHA-256 object size unknown");
    }
    FObject.resize(objectLength);
    if (!CngSucceeded(BCryptCreateHash(FAlgorithm.Get(), FHash.Receive(), FObject.data(), objectLength, nullptr, 0, 0))) {
      CngFail(u"SHA-256 is not available");
    }
  }

  void Update(const std::uint8_t* data, std::size_t size) override {
    // BCryptHashData takes a ULONG count: feed very large pieces in parts.
    while (size > 0) {
      const ULONG part = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
      if (!CngSucceeded(BCryptHashData(FHash.Get(), const_cast<PUCHAR>(data), part, 0))) CngFail(u"SHA-256 failed");
      data += part;
      size -= part;
    }
  }

  TSha256Digest Finish() override {
    TSha256Digest digest{};
    if (!CngSucceeded(BCryptFinishHash(FHash.Get(), digest.data(), static_cast<ULONG>(digest.size()), 0))) {
      CngFail(u"SHA-256 failed");
    }
    return digest;
  }

 private:
  // Declaration order matters: the hash goes before its object buffer and provider.
  TCngAlgorithm FAlgorithm;
  std::vector<UCHAR> FObject;
  TCngHash FHash;
};

class TCngP256PublicKey final : public TEcdsaP256PublicKey {
 public:
  explicit TCngP256PublicKey(const TP256Point& point)
      : FAlgorithm(OpenCngAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM, u"ECDSA P-256 is not available")) {
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + point.size());
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::copy_n(reinterpret_cast<const UCHAR*>(&header), sizeof(header), blob.begin());
    std::copy(point.begin(), point.end(), blob.begin() + sizeof(header));
    if (!CngSucceeded(BCryptImportKeyPair(FAlgorithm.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, FKey.Receive(), blob.data(),
                                          static_cast<ULONG>(blob.size()), 0))) {
      CngFail(u"the ECDSA P-256 key is not accepted");
    }
  }

  bool Verify(const TSha256Digest& digest, const TP256Signature& signature) override {
    TSha256Digest digestCopy = digest;
    TP256Signature signatureCopy = signature;
    // STATUS_INVALID_SIGNATURE for a signature that does not match; any failure is a no.
    return CngSucceeded(BCryptVerifySignature(FKey.Get(), nullptr, digestCopy.data(), static_cast<ULONG>(digestCopy.size()),
                                              signatureCopy.data(), static_cast<ULONG>(signatureCopy.size()), 0));
  }

 private:
  TCngAlgorithm FAlgorithm;
  TCngKey FKey;
};

}  // namespace

std::unique_ptr<TSha256> CreateSha256() { return std::make_unique<TCngSha256>(); }

std::unique_ptr<TEcdsaP256PublicKey> CreateEcdsaP256PublicKey(const TP256Point& point) {
  return std::make_unique<TCngP256PublicKey>(point);
}

}  // namespace cvl
