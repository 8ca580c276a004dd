#include "UpdateSignatures.h"

#include <exception>
#include <memory>
#include <optional>

#include "Text.h"
#include "UpdateSignature.h"
#include "ZipFiles.h"

namespace cvl {
namespace {

// A file read front to back through the platform's file calls.
class TSourceStream final : public IByteStream {
 public:
  explicit TSourceStream(TZipSource& source) : FSource(source) {}

  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    const std::uint64_t left = FSource.Size() - FOffset;
    const std::size_t count = left < size ? static_cast<std::size_t>(left) : size;
    if (count > 0) FSource.ReadAt(FOffset, reinterpret_cast<char*>(buffer), count);
    FOffset += count;
    return count;
  }

 private:
  TZipSource& FSource;
  std::uint64_t FOffset = 0;
};

// The signature file, whole, unless it is too large to be one; raises when it cannot be
// read.
std::optional<std::string> ReadSignatureFile(const std::u16string& path) {
  const auto source = OpenZipSource(path);
  if (source->Size() > kMaxSignatureFileSize) return std::nullopt;
  std::string signature(static_cast<std::size_t>(source->Size()), '\0');
  if (!signature.empty()) source->ReadAt(0, signature.data(), signature.size());
  return signature;
}

}  // namespace

bool TUpdateSignatures::VerifyDownloadedFile(const std::u16string& filePath, const std::u16string& fileName,
                                             const std::u16string& signaturePath) {
  try {
    const auto signature = ReadSignatureFile(signaturePath);
    if (!signature) return false;
    const auto file = OpenZipSource(filePath);
    TSourceStream stream(*file);
    return VerifyFileSignature(FKeys, Utf16ToUtf8(fileName), stream, *signature) == TSignatureCheck::Verified;
  } catch (const std::exception&) {
    // A file that cannot be opened or read has no good signature: the download failed.
    return false;
  }
}

bool TUpdateSignatures::VerifyDigest(const TSha256Digest& messageDigest, const std::u16string& signaturePath) {
  try {
    const auto signature = ReadSignatureFile(signaturePath);
    return signature && VerifyDigestSignature(FKeys, messageDigest, *signature) == TSignatureCheck::Verified;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace cvl
