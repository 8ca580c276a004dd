// Any bytes handed to the signature and key readers are either read or refused with
// EKeyFile; what is read writes back to the very same bytes (DER has one form only).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Base64.h"
#include "core/UpdateKeyFiles.h"
#include "core/UpdateSignature.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  if (const auto signature = cvl::ParseDerSignature(bytes)) {
    if (cvl::EncodeDerSignature(*signature) != bytes) __builtin_trap();
  }
  try {
    const cvl::TP256Point point = cvl::ParsePublicKeyDer(bytes);
    if (cvl::PublicKeyDer(point) != bytes) __builtin_trap();
  } catch (const cvl::EKeyFile&) {
  }
  // The PEM readers over the bytes as text, and over their Base64 inside each block
  // the readers look for.
  for (const char* label : {"", "PUBLIC KEY", "PRIVATE KEY", "EC PRIVATE KEY"}) {
    std::string text(bytes);
    if (*label != '\0') {
      text = "-----BEGIN " + std::string(label) + "-----\n" + cvl::Base64Encode(bytes) + "\n-----END " +
             std::string(label) + "-----\n";
    }
    try {
      const cvl::TP256Point point = cvl::ParsePublicKeyPem(text);
      if (cvl::ParsePublicKeyPem(cvl::PublicKeyPem(point)) != point) __builtin_trap();
    } catch (const cvl::EKeyFile&) {
    }
    try {
      const cvl::TP256PrivateKey key = cvl::ParsePrivateKeyPem(text);
      const cvl::TP256PrivateKey again = cvl::ParsePrivateKeyPem(cvl::PrivateKeyPem(key));
      if (again.D != key.D || again.Public != key.Public) __builtin_trap();
    } catch (const cvl::EKeyFile&) {
    }
  }
  return 0;
}
