// Owners of CNG handles, made from the one scoped-handle template (base/ScopedHandle.h):
// one traits struct per kind of handle.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include "win32/base/ScopedHandle.h"

namespace cvl {

inline bool CngSucceeded(NTSTATUS status) { return status >= 0; }

// An algorithm provider.
struct TCngAlgorithmTraits {
  using THandle = BCRYPT_ALG_HANDLE;
  static BCRYPT_ALG_HANDLE NullHandle() { return nullptr; }
  static bool IsValid(BCRYPT_ALG_HANDLE handle) { return handle != nullptr; }
  static bool Close(BCRYPT_ALG_HANDLE handle) { return CngSucceeded(BCryptCloseAlgorithmProvider(handle, 0)); }
};
using TCngAlgorithm = TGenericScopedHandle<TCngAlgorithmTraits>;

// A key (its object buffer, where the caller gives one, must outlive it).
struct TCngKeyTraits {
  using THandle = BCRYPT_KEY_HANDLE;
  static BCRYPT_KEY_HANDLE NullHandle() { return nullptr; }
  static bool IsValid(BCRYPT_KEY_HANDLE handle) { return handle != nullptr; }
  static bool Close(BCRYPT_KEY_HANDLE handle) { return CngSucceeded(BCryptDestroyKey(handle)); }
};
using TCngKey = TGenericScopedHandle<TCngKeyTraits>;

}  // namespace cvl
