#include "SignedFiles.h"

#include <memory>

#include "ReleaseFiles.h"
#include "ToolSupport.h"
#include "core/Text.h"
#include "core/UpdateKeyFiles.h"
#include "core/UpdateSignature.h"

namespace cvl {
namespace {

// A file read front to back in pieces, for the signed message's digest.
class TFileStream : public IByteStream {
 public:
  explicit TFileStream(const std::string& path) : FFile(TOsFile::OpenForReading(path)) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    const std::size_t got = FFile.ReadAt(FOffset, reinterpret_cast<char*>(buffer), size);
    FOffset += got;
    return got;
  }

 private:
  TOsFile FFile;
  std::uint64_t FOffset = 0;
};

std::string KeyText(const std::string& path) {
  const auto text = ReadSmallFile(path);
  if (!text) throw EBadInput(u"cannot read the key " + ShownPath(path));
  return *text;
}

}  // namespace

std::string SignaturePathOf(const std::string& path) { return path + Utf16ToUtf8(kSignatureFileSuffix); }

TP256PrivateKey ReadPrivateKeyFile(const std::string& path) {
  try {
    return ParsePrivateKeyPem(KeyText(path));
  } catch (const EKeyFile& error) {
    throw EBadInput(ShownPath(path) + u": " + error.Message());
  }
}

std::vector<TP256Point> ReadPublicKeyFiles(const std::vector<std::string>& paths) {
  std::vector<TP256Point> keys;
  for (const std::string& path : paths) {
    try {
      keys.push_back(ParsePublicKeyPem(KeyText(path)));
    } catch (const EKeyFile& error) {
      throw EBadInput(ShownPath(path) + u": " + error.Message());
    }
  }
  return keys;
}

std::string SignFile(const TP256PrivateKey& key, const std::string& path, std::string_view name) {
  TFileStream file(path);
  const TSha256Digest digest = SignedMessageDigest(name, file);
  const TP256Signature signature = SignEcdsaP256(key, digest);
  // A key file whose public point is not its own would sign what no launcher accepts.
  if (!CreateEcdsaP256PublicKey(key.Public)->Verify(digest, signature)) {
    throw EBadInput(u"the update key's public point does not belong to its private number");
  }
  return EncodeDerSignature(signature);
}

std::optional<std::u16string> SignatureProblem(const std::vector<TP256Point>& keys, const std::string& path,
                                               std::string_view name) {
  const std::string signaturePath = SignaturePathOf(path);
  if (KindOfTarget(signaturePath) != TFileKind::File) {
    return u"no signature " + ShownPath(signaturePath) + u": a launcher built with the key fails this download";
  }
  const TOsFile signatureFile = TOsFile::OpenForReading(signaturePath);
  if (signatureFile.Size() > kMaxSignatureFileSize) return ShownPath(signaturePath) + u" is no signature (too large)";
  std::string der(static_cast<std::size_t>(signatureFile.Size()), '\0');
  der.resize(signatureFile.ReadAt(0, der.data(), der.size()));
  TFileStream file(path);
  switch (VerifyFileSignature(keys, name, file, der)) {
    case TSignatureCheck::Verified:
      return std::nullopt;
    case TSignatureCheck::Malformed:
      return ShownPath(signaturePath) + u" is no DER ECDSA P-256 signature: the launcher refuses the download";
    case TSignatureCheck::NotVerified:
      break;
  }
  return u"the signature does not verify (another file, name or key): the launcher refuses the download";
}

}  // namespace cvl
