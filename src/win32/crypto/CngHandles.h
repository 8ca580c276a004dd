// Owners of CNG handles: the algorithm provider, keys and hashes, each closed exactly
// once. One template, one traits struct per kind of handle.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <utility>

#include "core/Exception.h"

namespace cvl {

template <class Traits>
class TCngHandle {
 public:
  using THandle = typename Traits::THandle;

  TCngHandle() = default;
  ~TCngHandle() { Reset(); }
  TCngHandle(const TCngHandle&) = delete;
  TCngHandle& operator=(const TCngHandle&) = delete;
  TCngHandle(TCngHandle&& other) noexcept : FHandle(std::exchange(other.FHandle, nullptr)) {}
  TCngHandle& operator=(TCngHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      FHandle = std::exchange(other.FHandle, nullptr);
    }
    return *this;
  }

  THandle Get() const { return FHandle; }
  // For APIs that hand out a handle through a pointer; closes the old one first.
  THandle* Receive() {
    Reset();
    return &FHandle;
  }
  void Reset() {
    if (FHandle != nullptr) Traits::Close(FHandle);
    FHandle = nullptr;
  }

 private:
  THandle FHandle = nullptr;
};

struct TCngAlgorithmTraits {
  using THandle = BCRYPT_ALG_HANDLE;
  static void Close(THandle h) { BCryptCloseAlgorithmProvider(h, 0); }
};
struct TCngKeyTraits {
  using THandle = BCRYPT_KEY_HANDLE;
  static void Close(THandle h) { BCryptDestroyKey(h); }
};
struct TCngHashTraits {
  using THandle = BCRYPT_HASH_HANDLE;
  static void Close(THandle h) { BCryptDestroyHash(h); }
};

using TCngAlgorithm = TCngHandle<TCngAlgorithmTraits>;
using TCngKey = TCngHandle<TCngKeyTraits>;
using TCngHash = TCngHandle<TCngHashTraits>;

inline bool CngSucceeded(NTSTATUS status) { return status >= 0; }

[[noreturn]] inline void CngFail(const char16_t* what) { throw Exception("ECryptoError", what); }

// Opens a provider of the algorithm; ECryptoError naming `what` when there is none.
inline TCngAlgorithm OpenCngAlgorithm(LPCWSTR algorithm, const char16_t* what) {
  TCngAlgorithm provider;
  if (!CngSucceeded(BCryptOpenAlgorithmProvider(provider.Receive(), algorithm, nullptr, 0))) CngFail(what);
  return provider;
}

}  // namespace cvl
