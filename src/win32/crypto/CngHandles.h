// Owners of CNG handles: the algorithm provider, keys and hashes, each closed exactly
// once, as traits of the one scoped-handle template.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include "core/Exception.h"
#include "win32/base/ScopedHandle.h"

namespace cvl {

inline bool CngSucceeded(NTSTATUS status) { return status >= 0; }

// An algorithm provider of CNG.
struct TCngAlgorithmTraits {
  using THandle = BCRYPT_ALG_HANDLE;
  static BCRYPT_ALG_HANDLE NullHandle() { return nullptr; }
  static bool IsValid(BCRYPT_ALG_HANDLE handle) { return handle != nullptr; }
  static bool Close(BCRYPT_ALG_HANDLE handle) { return CngSucceeded(BCryptCloseAlgorithmProvider(handle, 0)); }
};

// A key of CNG (an object buffer given to it must outlive it).
struct TCngKeyTraits {
  using THandle = BCRYPT_KEY_HANDLE;
  static BCRYPT_KEY_HANDLE NullHandle() { return nullptr; }
  static bool IsValid(BCRYPT_KEY_HANDLE handle) { return handle != nullptr; }
  static bool Close(BCRYPT_KEY_HANDLE handle) { return CngSucceeded(BCryptDestroyKey(handle)); }
};

// A hash of CNG (its object buffer likewise).
struct TCngHashTraits {
  using THandle = BCRYPT_HASH_HANDLE;
  static BCRYPT_HASH_HANDLE NullHandle() { return nullptr; }
  static bool IsValid(BCRYPT_HASH_HANDLE handle) { return handle != nullptr; }
  static bool Close(BCRYPT_HASH_HANDLE handle) { return CngSucceeded(BCryptDestroyHash(handle)); }
};

using TCngAlgorithm = TGenericScopedHandle<TCngAlgorithmTraits>;
using TCngKey = TGenericScopedHandle<TCngKeyTraits>;
using TCngHash = TGenericScopedHandle<TCngHashTraits>;

[[noreturn]] inline void CngFail(const char16_t* what) { throw Exception("ECryptoError", what); }

// Opens a provider of the algorithm; ECryptoError naming `what` when there is none.
inline TCngAlgorithm OpenCngAlgorithm(LPCWSTR algorithm, const char16_t* what) {
  TCngAlgorithm provider;
  if (!CngSucceeded(BCryptOpenAlgorithmProvider(provider.Receive(), algorithm, nullptr, 0))) {
    provider.Release();  // nothing was opened
    CngFail(what);
  }
  return provider;
}

}  // namespace cvl
