// ECDSA over the NIST P-256 curve with SHA-256, behind a small interface. The arithmetic
// comes from the platform (CNG on Windows, OpenSSL's libcrypto elsewhere); the formats
// around it (DER, PEM, the signed message) are ours. Numbers are big-endian bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace cvl {

using TSha256Digest = std::array<std::uint8_t, 32>;
// A number modulo the curve's order: a private key, or one half of a signature.
using TP256Scalar = std::array<std::uint8_t, 32>;
// A public key: the point's X then Y, 32 bytes each (the uncompressed form without its
// leading 0x04).
using TP256Point = std::array<std::uint8_t, 64>;
// A signature as r then s, 32 bytes each.
using TP256Signature = std::array<std::uint8_t, 64>;

// The order n of the curve's base point: r, s and private keys lie in 1 .. n-1.
inline constexpr TP256Scalar kP256Order = {
    0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xBC, 0xE6, 0xFA, 0xAD, 0xA7, 0x17, 0x9E, 0x84, 0xF3, 0xB9, 0xCA, 0xC2, 0xFC, 0x63, 0x25, 0x51};
// The field prime p: both coordinates of a point lie in 0 .. p-1.
inline constexpr TP256Scalar kP256Prime = {
    0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// True for 1 <= value < limit (value and limit big-endian, 32 bytes each).
bool InOpenRange(const std::uint8_t* value, const TP256Scalar& limit);

// A SHA-256 computation fed in pieces.
class TSha256 {
 public:
  virtual ~TSha256() = default;
  virtual void Update(const std::uint8_t* data, std::size_t size) = 0;
  // The digest of everything fed; the object is used up.
  virtual TSha256Digest Finish() = 0;
};

// Throws ECryptoError when the platform cannot hash.
std::unique_ptr<TSha256> CreateSha256();

// One public key, ready to check signatures of SHA-256 digests.
class TEcdsaP256PublicKey {
 public:
  virtual ~TEcdsaP256PublicKey() = default;
  // False for any signature that does not verify, never an exception for a bad one.
  virtual bool Verify(const TSha256Digest& digest, const TP256Signature& signature) = 0;
};

// Throws ECryptoError when the platform refuses the point.
std::unique_ptr<TEcdsaP256PublicKey> CreateEcdsaP256PublicKey(const TP256Point& point);

// A key pair, for the operator's kit: the launcher never holds one.
struct TP256PrivateKey {
  TP256Scalar D{};
  TP256Point Public{};
};

// A fresh key pair from the platform's random generator; ECryptoError on failure.
TP256PrivateKey GenerateEcdsaP256Key();
// Signs a digest; ECryptoError when the platform refuses the key.
TP256Signature SignEcdsaP256(const TP256PrivateKey& key, const TSha256Digest& digest);

}  // namespace cvl
