// Signed update files. The server keeps beside each file it offers a detached signature
// "<name>.sig": the DER-encoded ECDSA P-256 signature, by the operator's key, of
//
//   "CVL-SIGNATURE-1" LF <file name> LF <the file's bytes>
//
// hashed with SHA-256. The name (the bare name the launcher asks for, UTF-8) is part of
// what is signed, so that a signed file cannot be served in place of another. openssl
// makes and checks the same signatures:
//   (printf 'CVL-SIGNATURE-1\n%s\n' NAME; cat FILE) | openssl dgst -sha256 -sign KEY
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "EcdsaP256.h"

namespace cvl {

inline constexpr char kSignatureFormatLine[] = "CVL-SIGNATURE-1";
inline constexpr char16_t kSignatureFileSuffix[] = u".sig";
// A DER signature of P-256 takes at most 72 bytes; a larger signature file is no
// signature, and is never read whole.
inline constexpr std::size_t kMaxSignatureFileSize = 256;

// What comes before the file's bytes in the signed message.
std::string SignedMessagePrefix(std::string_view fileName);

// The signature as r || s, when `der` is exactly one DER SEQUENCE of two INTEGERs, each
// minimal, non-negative and in 1 .. n-1, with nothing after it; nullopt otherwise.
std::optional<TP256Signature> ParseDerSignature(std::string_view der);
// The DER form of a signature (what ParseDerSignature reads back).
std::string EncodeDerSignature(const TP256Signature& signature);

// A file read once from its start, in pieces.
class IByteStream {
 public:
  virtual ~IByteStream() = default;
  // Up to `size` next bytes into `buffer`; 0 at the end. Raises when the file cannot
  // be read.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t size) = 0;
};

// The file is read in pieces of this size: memory does not grow with the file.
inline constexpr std::size_t kSignatureReadPiece = 64 * 1024;

// The SHA-256 of the signed message, fed the file's bytes as they come: read back from
// disk, or while the file is downloaded, so that no second pass over it is needed.
class TSignedMessageDigest {
 public:
  explicit TSignedMessageDigest(std::string_view fileName);
  void Update(const std::uint8_t* data, std::size_t size);
  // The digest of the message; the object is used up.
  TSha256Digest Finish();

 private:
  std::unique_ptr<TSha256> FHash;
};

// The same digest, hashed on a thread of its own: feeding it costs a copy of the bytes,
// so a download keeps its pace while another core hashes. Update blocks only while
// kBackgroundDigestQueue bytes already wait for the hash. Destroyed without Finish, it
// drops what waits and stops its thread.
inline constexpr std::size_t kBackgroundDigestBlock = 128 * 1024;
inline constexpr std::size_t kBackgroundDigestQueue = 1024 * 1024;

class TBackgroundSignedDigest {
 public:
  explicit TBackgroundSignedDigest(std::string_view fileName);
  ~TBackgroundSignedDigest();
  TBackgroundSignedDigest(const TBackgroundSignedDigest&) = delete;
  TBackgroundSignedDigest& operator=(const TBackgroundSignedDigest&) = delete;

  void Update(const std::uint8_t* data, std::size_t size);
  // Waits for every byte fed to be hashed; raises what the hash raised. Used up after.
  TSha256Digest Finish();

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};

// SHA-256 of the signed message for `fileName` with the stream's bytes.
TSha256Digest SignedMessageDigest(std::string_view fileName, IByteStream& file);

enum class TSignatureCheck {
  Verified,     // one of the keys signed this file under this name
  Malformed,    // the signature is no DER ECDSA signature (nothing read from the file)
  NotVerified,  // a well-formed signature that none of the keys made for this file and name
};

// Checks a detached signature of a message digest against every key in turn; any one
// key verifying is enough. A key the platform refuses is skipped.
TSignatureCheck VerifyDigestSignature(const std::vector<TP256Point>& keys, const TSha256Digest& messageDigest,
                                      std::string_view signatureDer);

// The same over the file's bytes, read in pieces; a malformed signature is refused
// before the file is read. Raises only when the file cannot be read.
TSignatureCheck VerifyFileSignature(const std::vector<TP256Point>& keys, std::string_view fileName,
                                    IByteStream& file, std::string_view signatureDer);

}  // namespace cvl
