// The check the fetch step makes of each downloaded file when the launcher was built
// with update keys (CVL_UPDATE_KEY): the file's detached signature, fetched beside it,
// must be one of those keys' signature of the file under its name (UpdateSignature.h).
// A launcher built without keys has none and checks nothing.
#pragma once

#include <string>
#include <vector>

#include "EcdsaP256.h"

namespace cvl {

class IUpdateSignatures {
 public:
  virtual ~IUpdateSignatures() = default;

  // True when the launcher carries at least one key, so every download must be signed.
  virtual bool KeysEmbedded() const = 0;
  // True when the file at `signaturePath` is a signature, by one of the keys, of the
  // file at `filePath` published under `fileName` (the bare name the launcher asked the
  // server for). False for a missing, unreadable, oversized or wrong signature and for a
  // file that cannot be read; never raises. Reads the file in fixed pieces.
  virtual bool VerifyDownloadedFile(const std::u16string& filePath, const std::u16string& fileName,
                                    const std::u16string& signaturePath) = 0;
  // The same for a file whose signed message was hashed as it came in (a
  // TSignedMessageDigest of UpdateSignature.h fed the bytes written), so that the file
  // is not read a second time.
  virtual bool VerifyDigest(const TSha256Digest& messageDigest, const std::u16string& signaturePath) = 0;
};

// The check over the platform's own file calls and cryptography.
class TUpdateSignatures final : public IUpdateSignatures {
 public:
  explicit TUpdateSignatures(std::vector<TP256Point> keys) : FKeys(std::move(keys)) {}

  bool KeysEmbedded() const override { return !FKeys.empty(); }
  bool VerifyDownloadedFile(const std::u16string& filePath, const std::u16string& fileName,
                            const std::u16string& signaturePath) override;
  bool VerifyDigest(const TSha256Digest& messageDigest, const std::u16string& signaturePath) override;

 private:
  std::vector<TP256Point> FKeys;
};

// The keys this build carries, in the order CVL_UPDATE_KEY names them; empty without
// the option. Defined by the build (cmake/UpdateKeys.cmake) in the library
// cvl_update_keys.
const std::vector<TP256Point>& EmbeddedUpdateKeys();

}  // namespace cvl
