// Owner of one COM interface pointer: released exactly once.
#pragma once

#include <unknwn.h>

#include <utility>

namespace cvl {

template <class T>
class TComPtr {
 public:
  TComPtr() = default;
  // Takes over a reference the caller already holds.
  explicit TComPtr(T* pointer) : FPointer(pointer) {}
  ~TComPtr() { Reset(); }
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  TComPtr(TComPtr&& other) noexcept : FPointer(std::exchange(other.FPointer, nullptr)) {}
  TComPtr& operator=(TComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      FPointer = std::exchange(other.FPointer, nullptr);
    }
    return *this;
  }

  T* Get() const { return FPointer; }
  T* operator->() const { return FPointer; }
  explicit operator bool() const { return FPointer != nullptr; }
  // For APIs that hand out an interface through a pointer; releases the old one first.
  T** Receive() {
    Reset();
    return &FPointer;
  }
  void Reset() {
    if (FPointer != nullptr) FPointer->Release();
    FPointer = nullptr;
  }

 private:
  T* FPointer = nullptr;
};

}  // namespace cvl
