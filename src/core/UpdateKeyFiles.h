// The operator's update keys as files: PEM text as openssl writes and reads it.
//   public key   "PUBLIC KEY": SubjectPublicKeyInfo (RFC 5280) of id-ecPublicKey on
//                prime256v1, the point uncompressed (openssl ec -pubout)
//   private key  "PRIVATE KEY": PKCS#8 (RFC 5208) around an ECPrivateKey (openssl
//                genpkey), or "EC PRIVATE KEY": the bare ECPrivateKey of SEC 1 (RFC 5915,
//                openssl ecparam -genkey); unencrypted, and holding its public point
// Anything else is refused with EKeyFile and a reason an operator can act on.
#pragma once

#include <string>
#include <string_view>

#include "EcdsaP256.h"
#include "Exception.h"

namespace cvl {

class EKeyFile : public Exception {
 public:
  explicit EKeyFile(std::u16string message) : Exception("EKeyFile", std::move(message)) {}
};

TP256Point ParsePublicKeyPem(std::string_view pem);
// The DER SubjectPublicKeyInfo inside a "PUBLIC KEY" block.
TP256Point ParsePublicKeyDer(std::string_view der);
std::string PublicKeyDer(const TP256Point& point);
std::string PublicKeyPem(const TP256Point& point);

TP256PrivateKey ParsePrivateKeyPem(std::string_view pem);
// PKCS#8, as "PRIVATE KEY".
std::string PrivateKeyPem(const TP256PrivateKey& key);

}  // namespace cvl
