// Owners of kernel handles: closed exactly once, on every path.
#pragma once

#include <windows.h>

#include <utility>

namespace cvl {

// A kernel object handle (process, thread, file, pipe, event...). Both null and
// INVALID_HANDLE_VALUE mean "no handle".
class TScopedHandle {
 public:
  TScopedHandle() = default;
  explicit TScopedHandle(HANDLE handle) : FHandle(handle) {}
  ~TScopedHandle() { Close(); }

  TScopedHandle(const TScopedHandle&) = delete;
  TScopedHandle& operator=(const TScopedHandle&) = delete;
  TScopedHandle(TScopedHandle&& other) noexcept : FHandle(other.Release()) {}
  TScopedHandle& operator=(TScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  HANDLE Get() const { return FHandle; }
  bool Valid() const { return FHandle != nullptr && FHandle != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return Valid(); }

  // For APIs that hand out a handle through a pointer; closes the old one first.
  HANDLE* Receive() {
    Close();
    return &FHandle;
  }
  HANDLE Release() { return std::exchange(FHandle, nullptr); }
  void Reset(HANDLE handle = nullptr) {
    Close();
    FHandle = handle;
  }
  void Close() {
    if (Valid()) ::CloseHandle(FHandle);
    FHandle = nullptr;
  }

 private:
  HANDLE FHandle = nullptr;
};

}  // namespace cvl
