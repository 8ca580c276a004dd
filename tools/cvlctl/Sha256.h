// SHA-256 of a stream of bytes, from the platform's own cryptography: OpenSSL natively
// (Sha256OpenSsl.cpp), CNG in cvlctl.exe (Sha256Cng.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace cvl {

using TSha256Digest = std::array<std::uint8_t, 32>;

class TSha256 {
 public:
  // Raises EBadInput when the platform offers no SHA-256.
  TSha256();
  ~TSha256();
  TSha256(const TSha256&) = delete;
  TSha256& operator=(const TSha256&) = delete;

  void Update(std::string_view bytes);
  // The digest of everything given so far; the object is spent afterwards.
  TSha256Digest Finish();

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};

// Lower-case hexadecimal, 64 characters.
std::string DigestHex(const TSha256Digest& digest);
// The digest written by DigestHex (either case); nullopt for anything else.
std::optional<TSha256Digest> DigestFromHex(std::string_view text);

}  // namespace cvl
