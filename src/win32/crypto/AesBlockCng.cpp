// AES-128 block operation on Windows CNG (bcrypt), the Windows build's cipher.
#include <windows.h>
#include <bcrypt.h>

#include <memory>
#include <vector>

#include "core/AesBlock.h"
#include "core/Exception.h"

namespace cvl {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

[[noreturn]] void Fail(const char16_t* what) { throw Exception("ECryptoError", what); }

class TBcryptAlgorithm {
 public:
  TBcryptAlgorithm() {
    if (!Succeeded(BCryptOpenAlgorithmProvider(&FHandle, BCRYPT_AES_ALGORITHM, nullptr, 0))) {
      FHandle = nullptr;
      Fail(u"AES-128 is not available");
    }
  }
  ~TBcryptAlgorithm() {
    if (FHandle != nullptr) BCryptCloseAlgorithmProvider(FHandle, 0);
  }
  TBcryptAlgorithm(const TBcryptAlgorithm&) = delete;
  TBcryptAlgorithm& operator=(const TBcryptAlgorithm&) = delete;
  BCRYPT_ALG_HANDLE Get() const { return FHandle; }

 private:
  BCRYPT_ALG_HANDLE FHandle = nullptr;
};

class TBcryptKey {
 public:
  TBcryptKey() = default;
  ~TBcryptKey() {
    if (FHandle != nullptr) BCryptDestroyKey(FHandle);
  }
  TBcryptKey(const TBcryptKey&) = delete;
  TBcryptKey& operator=(const TBcryptKey&) = delete;
  BCRYPT_KEY_HANDLE* Receive() { return &FHandle; }
  BCRYPT_KEY_HANDLE Get() const { return FHandle; }

 private:
  BCRYPT_KEY_HANDLE FHandle = nullptr;
};

class TCngAes128Block final : public TAes128Block {
 public:
  explicit TCngAes128Block(const TAesBlockBytes& key) {
    // Chaining is ours: the platform only ever sees single blocks.
    auto mode = const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB);
    if (!Succeeded(BCryptSetProperty(FAlgorithm.Get(), BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(mode),
                                     sizeof(BCRYPT_CHAIN_MODE_ECB), 0))) {
      Fail(u"AES-128 ECB mode is not available");
    }
    // The key object's size differs between Windows versions and Wine: ask, never assume.
    DWORD objectLength = 0;
    ULONG got = 0;
    if (!Succeeded(BCryptGetProperty(FAlgorithm.Get(), BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                                     sizeof(objectLength), &got, 0))) {
      Fail(u"AES-128 key object size unknown");
    }
    FKeyObject.resize(objectLength);
    TAesBlockBytes keyCopy = key;
    if (!Succeeded(BCryptGenerateSymmetricKey(FAlgorithm.Get(), FKey.Receive(), FKeyObject.data(), objectLength,
                                              keyCopy.data(), static_cast<ULONG>(keyCopy.size()), 0))) {
      Fail(u"AES-128 key setup failed");
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
    if (!Succeeded(status) || written != 16) {
      Fail(u"AES-128 block operation failed");
    }
    return out;
  }

  // Declaration order matters: the key is destroyed before its object buffer and the provider.
  TBcryptAlgorithm FAlgorithm;
  std::vector<UCHAR> FKeyObject;
  TBcryptKey FKey;
};

}  // namespace

std::unique_ptr<TAes128Block> CreateAes128Block(const TAesBlockBytes& key) {
  return std::make_unique<TCngAes128Block>(key);
}

}  // namespace cvl
