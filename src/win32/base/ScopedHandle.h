// One owner for every kind of handle the program gets from the system: closed exactly
// once, on every path. A kind of handle is one traits struct:
//
//   using THandle = ...;            the handle's type
//   static THandle NullHandle();    the value that holds nothing
//   static bool IsValid(THandle);   whether a value is a handle to close
//   static bool Close(THandle);     closes it; false when the system reports a failure
//
// The kinds several concerns use are below; the others live with their concern: COM
// pointers, texts and the apartment (base/ComScoped.h), GDI objects and device
// contexts (window/GdiScoped.h), WinHTTP handles (net/HttpQuery.cpp), CNG handles
// (crypto/CngHandles.h), the GDI+ session (window/GdiplusSession.h) and the file
// beside an atomic write (files/FileWrite.cpp).
#pragma once

#include <windows.h>

#include <type_traits>
#include <utility>

namespace cvl {

template <class TTraits>
class TGenericScopedHandle {
 public:
  using THandle = typename TTraits::THandle;

  TGenericScopedHandle() = default;
  explicit TGenericScopedHandle(THandle handle) : FHandle(std::move(handle)) {}
  ~TGenericScopedHandle() { Close(); }
  TGenericScopedHandle(const TGenericScopedHandle&) = delete;
  TGenericScopedHandle& operator=(const TGenericScopedHandle&) = delete;
  TGenericScopedHandle(TGenericScopedHandle&& other) noexcept : FHandle(other.Release()) {}
  TGenericScopedHandle& operator=(TGenericScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  const THandle& Get() const { return FHandle; }
  bool Valid() const { return TTraits::IsValid(FHandle); }
  explicit operator bool() const { return Valid(); }
  // The members of what a pointer handle points to (a COM interface).
  THandle operator->() const
    requires std::is_pointer_v<THandle>
  {
    return FHandle;
  }

  // For functions that hand out a handle through a pointer; closes the old one first.
  THandle* Receive() {
    Close();
    return &FHandle;
  }
  // Gives the handle up without closing it.
  THandle Release() { return std::exchange(FHandle, TTraits::NullHandle()); }
  void Reset(THandle handle = TTraits::NullHandle()) {
    Close();
    FHandle = std::move(handle);
  }
  // Closes now. False only when the system reports that closing failed (as it may for a
  // file whose last writes only then fail); holding nothing is no failure.
  bool Close() {
    THandle handle = Release();
    return !TTraits::IsValid(handle) || TTraits::Close(handle);
  }

 private:
  THandle FHandle = TTraits::NullHandle();
};

// A kernel object: process, thread, file, pipe, event. Both null and
// INVALID_HANDLE_VALUE mean none, as the functions that make them differ in that.
struct TKernelHandleTraits {
  using THandle = HANDLE;
  static HANDLE NullHandle() { return nullptr; }
  static bool IsValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static bool Close(HANDLE handle) { return ::CloseHandle(handle) != FALSE; }
};
using TScopedHandle = TGenericScopedHandle<TKernelHandleTraits>;

// A folder search of FindFirstFile.
struct TFindHandleTraits {
  using THandle = HANDLE;
  static HANDLE NullHandle() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static bool Close(HANDLE handle) { return ::FindClose(handle) != FALSE; }
};
using TScopedFindHandle = TGenericScopedHandle<TFindHandleTraits>;

// A registry key the program opened (never one of the predefined roots).
struct TRegKeyTraits {
  using THandle = HKEY;
  static HKEY NullHandle() { return nullptr; }
  static bool IsValid(HKEY key) { return key != nullptr; }
  static bool Close(HKEY key) { return ::RegCloseKey(key) == ERROR_SUCCESS; }
};
using TScopedRegKey = TGenericScopedHandle<TRegKeyTraits>;

// Memory the system allocated for the caller with LocalAlloc (FormatMessage's text,
// CommandLineToArgvW's list).
template <class T>
struct TLocalMemoryTraits {
  using THandle = T*;
  static T* NullHandle() { return nullptr; }
  static bool IsValid(T* memory) { return memory != nullptr; }
  static bool Close(T* memory) { return ::LocalFree(memory) == nullptr; }
};
template <class T>
using TScopedLocalMemory = TGenericScopedHandle<TLocalMemoryTraits<T>>;

// The environment block of GetEnvironmentStringsW.
struct TEnvironmentStringsTraits {
  using THandle = wchar_t*;
  static wchar_t* NullHandle() { return nullptr; }
  static bool IsValid(wchar_t* block) { return block != nullptr; }
  static bool Close(wchar_t* block) { return ::FreeEnvironmentStringsW(block) != FALSE; }
};
using TScopedEnvironmentStrings = TGenericScopedHandle<TEnvironmentStringsTraits>;

// A window an object makes for its own use (a hidden message window).
struct TWindowTraits {
  using THandle = HWND;
  static HWND NullHandle() { return nullptr; }
  static bool IsValid(HWND window) { return window != nullptr; }
  static bool Close(HWND window) { return ::DestroyWindow(window) != FALSE; }
};
using TScopedWindow = TGenericScopedHandle<TWindowTraits>;

// An event, not owned, that is set when the scope ends however it ends: the "done"
// another thread waits for.
struct TSignalTraits {
  using THandle = HANDLE;
  static HANDLE NullHandle() { return nullptr; }
  static bool IsValid(HANDLE event) { return event != nullptr; }
  static bool Close(HANDLE event) { return ::SetEvent(event) != FALSE; }
};
using TScopedSignal = TGenericScopedHandle<TSignalTraits>;

// A flag that is true while the scope lasts ("inside this handler").
struct TFlagTraits {
  using THandle = bool*;
  static bool* NullHandle() { return nullptr; }
  static bool IsValid(bool* flag) { return flag != nullptr; }
  static bool Close(bool* flag) {
    *flag = false;
    return true;
  }
};
class TScopedFlag : public TGenericScopedHandle<TFlagTraits> {
 public:
  explicit TScopedFlag(bool& flag) : TGenericScopedHandle(&flag) { flag = true; }
};

}  // namespace cvl
