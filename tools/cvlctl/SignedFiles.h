// The detached signatures of what `release` publishes and `check-server` checks, in the
// format of core/UpdateSignature.h ("<file>.sig" beside each file), over the release's
// own file calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/EcdsaP256.h"

namespace cvl {

// The operator's private key from a PEM file; EBadInput naming the file when it is none.
TP256PrivateKey ReadPrivateKeyFile(const std::string& path);
// The public keys from PEM files; EBadInput naming a file that holds none.
std::vector<TP256Point> ReadPublicKeyFiles(const std::vector<std::string>& paths);

// The DER signature of the file at `path`, published as `name`, by `key`; checked against
// the key's own public point. EBadInput when the file cannot be read or the key file's
// point is not its own.
std::string SignFile(const TP256PrivateKey& key, const std::string& path, std::string_view name);

// Why the launcher would refuse the signature beside the file at `path` (published as
// `name`), or nullopt when one of the keys signed it.
std::optional<std::u16string> SignatureProblem(const std::vector<TP256Point>& keys, const std::string& path,
                                               std::string_view name);

// "<path>.sig".
std::string SignaturePathOf(const std::string& path);

}  // namespace cvl
