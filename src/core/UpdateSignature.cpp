#include "UpdateSignature.h"

#include <algorithm>
#include <array>

#include "DerCoding.h"
#include "Exception.h"

namespace cvl {
namespace {

// One INTEGER of a signature, as 32 bytes, when it lies in 1 .. n-1.
bool ReadSignatureHalf(TDerReader& reader, std::uint8_t* out) {
  const auto content = reader.Read(der::kInteger);
  if (!content) return false;
  const auto magnitude = DerUnsignedValue(*content);
  if (!magnitude || magnitude->size() > 32) return false;
  std::array<std::uint8_t, 32> value{};
  std::copy(magnitude->begin(), magnitude->end(), value.end() - static_cast<std::ptrdiff_t>(magnitude->size()));
  if (!InOpenRange(value.data(), kP256Order)) return false;
  std::copy(value.begin(), value.end(), out);
  return true;
}

}  // namespace

std::string SignedMessagePrefix(std::string_view fileName) {
  std::string prefix(kSignatureFormatLine);
  prefix += '\n';
  prefix += fileName;
  prefix += '\n';
  return prefix;
}

std::optional<TP256Signature> ParseDerSignature(std::string_view der) {
  TDerReader outer(der);
  const auto body = outer.Read(der::kSequence);
  if (!body || !outer.AtEnd()) return std::nullopt;
  TDerReader inner(*body);
  TP256Signature signature{};
  if (!ReadSignatureHalf(inner, signature.data()) || !ReadSignatureHalf(inner, signature.data() + 32) ||
      !inner.AtEnd()) {
    return std::nullopt;
  }
  return signature;
}

std::string EncodeDerSignature(const TP256Signature& signature) {
  const auto* bytes = reinterpret_cast<const char*>(signature.data());
  return DerElement(der::kSequence, DerUnsignedInteger(std::string_view(bytes, 32)) +
                                        DerUnsignedInteger(std::string_view(bytes + 32, 32)));
}

TSignedMessageDigest::TSignedMessageDigest(std::string_view fileName) : FHash(CreateSha256()) {
  const std::string prefix = SignedMessagePrefix(fileName);
  Update(reinterpret_cast<const std::uint8_t*>(prefix.data()), prefix.size());
}

void TSignedMessageDigest::Update(const std::uint8_t* data, std::size_t size) { FHash->Update(data, size); }

TSha256Digest TSignedMessageDigest::Finish() { return FHash->Finish(); }

TSha256Digest SignedMessageDigest(std::string_view fileName, IByteStream& file) {
  TSignedMessageDigest digest(fileName);
  std::vector<std::uint8_t> piece(kSignatureReadPiece);
  for (std::size_t got; (got = file.Read(piece.data(), piece.size())) > 0;) {
    digest.Update(piece.data(), got);
  }
  return digest.Finish();
}

TSignatureCheck VerifyDigestSignature(const std::vector<TP256Point>& keys, const TSha256Digest& messageDigest,
                                      std::string_view signatureDer) {
  const auto signature = ParseDerSignature(signatureDer);
  if (!signature) return TSignatureCheck::Malformed;
  for (const TP256Point& point : keys) {
    try {
      if (CreateEcdsaP256PublicKey(point)->Verify(messageDigest, *signature)) return TSignatureCheck::Verified;
    } catch (const Exception&) {
      // A key the platform refuses verifies nothing; the other keys still may.
    }
  }
  return TSignatureCheck::NotVerified;
}

TSignatureCheck VerifyFileSignature(const std::vector<TP256Point>& keys, std::string_view fileName,
                                    IByteStream& file, std::string_view signatureDer) {
  if (!ParseDerSignature(signatureDer)) return TSignatureCheck::Malformed;
  return VerifyDigestSignature(keys, SignedMessageDigest(fileName, file), signatureDer);
}

}  // namespace cvl
