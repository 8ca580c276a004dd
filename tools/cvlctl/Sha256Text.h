// SHA-256 digests as the release manifest writes them. The hashing itself is the core's
// (CreateSha256 in core/EcdsaP256.h: OpenSSL natively, CNG in cvlctl.exe).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/EcdsaP256.h"

namespace cvl {

// Lower-case hexadecimal, 64 characters.
std::string DigestHex(const TSha256Digest& digest);
// The digest written by DigestHex (either case); nullopt for anything else.
std::optional<TSha256Digest> DigestFromHex(std::string_view text);

}  // namespace cvl
