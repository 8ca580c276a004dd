// One AES-128 block operation behind a small interface. The block cipher itself comes
// from the platform (CNG on Windows, OpenSSL's libcrypto elsewhere); chaining, the
// partial last block and padding are ours (V1PakConvert).
#pragma once

#include <array>
#include <cstdint>
#include <memory>

namespace cvl {

using TAesBlockBytes = std::array<std::uint8_t, 16>;

class TAes128Block {
 public:
  virtual ~TAes128Block() = default;
  virtual TAesBlockBytes Encrypt(const TAesBlockBytes& block) = 0;
  virtual TAesBlockBytes Decrypt(const TAesBlockBytes& block) = 0;
};

// Throws cvl::Exception when the platform cannot set up the cipher.
std::unique_ptr<TAes128Block> CreateAes128Block(const TAesBlockBytes& key);

}  // namespace cvl
