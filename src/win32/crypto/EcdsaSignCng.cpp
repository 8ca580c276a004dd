// ECDSA P-256 key generation and signing on Windows CNG (bcrypt), for the operator's kit.
#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <vector>

#include "CngHandles.h"
#include "core/EcdsaP256.h"

namespace cvl {
namespace {

// BCRYPT_ECCPRIVATE_BLOB: the header, X, Y, then the private number.
constexpr std::size_t kPrivateBlobSize = sizeof(BCRYPT_ECCKEY_BLOB) + 64 + 32;

TCngAlgorithm OpenEcdsa() { return OpenCngAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM, u"ECDSA P-256 is not available"); }

// Wipes the private number from a blob on every path.
struct TWipedBlob {
  std::vector<UCHAR> Bytes = std::vector<UCHAR>(kPrivateBlobSize);
  ~TWipedBlob() { SecureZeroMemory(Bytes.data(), Bytes.size()); }
};

}  // namespace

TP256PrivateKey GenerateEcdsaP256Key() {
  const TCngAlgorithm algorithm = OpenEcdsa();
  TCngKey key;
  if (!CngSucceeded(BCryptGenerateKeyPair(algorithm.Get(), key.Receive(), 256, 0)) ||
      !CngSucceeded(BCryptFinalizeKeyPair(key.Get(), 0))) {
    CngFail(u"no ECDSA P-256 key could be made");
  }
  TWipedBlob blob;
  ULONG size = 0;
  if (!CngSucceeded(BCryptExportKey(key.Get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.Bytes.data(),
                                    static_cast<ULONG>(blob.Bytes.size()), &size, 0)) ||
      size != kPrivateBlobSize) {
    CngFail(u"the new key cannot be read");
  }
  TP256PrivateKey result;
  const auto body = blob.Bytes.begin() + sizeof(BCRYPT_ECCKEY_BLOB);
  std::copy_n(body, 64, result.Public.begin());
  std::copy_n(body + 64, 32, result.D.begin());
  return result;
}

TP256Signature SignEcdsaP256(const TP256PrivateKey& key, const TSha256Digest& digest) {
  const TCngAlgorithm algorithm = OpenEcdsa();
  TWipedBlob blob;
  const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PRIVATE_P256_MAGIC, 32};
  std::copy_n(reinterpret_cast<const UCHAR*>(&header), sizeof(header), blob.Bytes.begin());
  std::copy(key.Public.begin(), key.Public.end(), blob.Bytes.begin() + sizeof(header));
  std::copy(key.D.begin(), key.D.end(), blob.Bytes.begin() + sizeof(header) + 64);
  TCngKey handle;
  if (!CngSucceeded(BCryptImportKeyPair(algorithm.Get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, handle.Receive(),
                                        blob.Bytes.data(), static_cast<ULONG>(blob.Bytes.size()), 0))) {
    CngFail(u"the ECDSA P-256 key is not accepted");
  }
  TSha256Digest digestCopy = digest;
  TP256Signature signature{};
  ULONG size = 0;
  if (!CngSucceeded(BCryptSignHash(handle.Get(), nullptr, digestCopy.data(), static_cast<ULONG>(digestCopy.size()),
                                   signature.data(), static_cast<ULONG>(signature.size()), &size, 0)) ||
      size != signature.size()) {
    CngFail(u"signing failed");
  }
  return signature;
}

}  // namespace cvl
