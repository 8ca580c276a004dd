// AES-128 block operation on Windows CNG (bcrypt), the Windows build's cipher.
#include <memory>
#include <vector>

#include "core/AesBlock.h"
#include "core/Exception.h"
#include "win32/crypto/CngHandles.h"

namespace cvl {
namespace {

class TCngAes128Block final : public TAes128Block {
 public:
  explicit TCngAes128Block(const TAesBlockBytes& key) {
    if (!CngSucceeded(BCryptOpenAlgorithmProvider(FAlgorithm.Receive(), BCRYPT_AES_ALGORITHM, nullptr, 0))) {
      FAlgorithm.Release();  // nothing was opened
      CngFail(u"AES-128 is not available");
    }
    // Chaining is ours: the platform only ever sees single blocks.
    auto mode = const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB);
    if (!CngSucceeded(BCryptSetProperty(FAlgorithm.Get(), BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(mode),
                                        sizeof(BCRYPT_CHAIN_MODE_ECB), 0))) {
      CngFail(u"AES-128 ECB mode is not available");
    }
    // The key object's size differs between Windows versions and Wine: ask, never assume.
    DWORD objectLength = 0;
    ULONG got = 0;
    if (!CngSucceeded(BCryptGetProperty(FAlgorithm.Get(), BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                                        sizeof(objectLength), &got, 0))) {
      CngFail(u"AES-128 key object size unknown");
    }
    FKeyObject.resize(objectLength);
    TAesBlockBytes keyCopy = key;
    if (!CngSucceeded(BCryptGenerateSymmetricKey(FAlgorithm.Get(), FKey.Receive(), FKeyObject.data(), objectLength,
                                                 keyCopy.data(), static_cast<ULONG>(keyCopy.size()), 0))) {
      FKey.Release();  // nothing was made
      CngFail(u"AES-128 key setup failed");
    }
  }

  TAesBlockBytes Encrypt(const TAesBlockBytes& block) override { return Run(block, true); }
  TAesBlockBytes Decrypt(const TAesBlockBytes& block) override { return Run(block, false); }

 private:
  TAesBlockBytes Run(const TAesBlockBytes& block, bool encrypt) {
    TAesBlockBytes in = block;
    TAesBlockBytes out{};
    ULONG written = 0;
    const NTSTATUS status =
        encrypt ? BCryptEncrypt(FKey.Get(), in.data(), 16, nullptr, nullptr, 0, out.data(), 16, &written, 0)
                : BCryptDecrypt(FKey.Get(), in.data(), 16, nullptr, nullptr, 0, out.data(), 16, &written, 0);
    if (!CngSucceeded(status) || written != 16) {
      CngFail(u"AES-128 block operation failed");
    }
    return out;
  }

  // Declaration order matters: the key is destroyed before its object buffer and the provider.
  TCngAlgorithm FAlgorithm;
  std::vector<UCHAR> FKeyObject;
  TCngKey FKey;
};

}  // namespace

std::unique_ptr<TAes128Block> CreateAes128Block(const TAesBlockBytes& key) {
  return std::make_unique<TCngAes128Block>(key);
}

}  // namespace cvl
