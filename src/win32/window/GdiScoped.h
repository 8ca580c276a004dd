// Owners of GDI objects and device contexts: each released exactly once, on every path.
#pragma once

#include <windows.h>

#include <utility>

namespace cvl {

// A GDI object made by the program (font, brush, pen, bitmap): deleted when dropped.
template <class T>
class TScopedGdiObject {
 public:
  TScopedGdiObject() = default;
  explicit TScopedGdiObject(T handle) : FHandle(handle) {}
  ~TScopedGdiObject() { Reset(); }
  TScopedGdiObject(const TScopedGdiObject&) = delete;
  TScopedGdiObject& operator=(const TScopedGdiObject&) = delete;
  TScopedGdiObject(TScopedGdiObject&& other) noexcept : FHandle(std::exchange(other.FHandle, nullptr)) {}
  TScopedGdiObject& operator=(TScopedGdiObject&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.FHandle, nullptr));
    return *this;
  }

  T Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != nullptr; }
  void Reset(T handle = nullptr) {
    if (FHandle != nullptr) ::DeleteObject(FHandle);
    FHandle = handle;
  }

 private:
  T FHandle = nullptr;
};

using TScopedFont = TScopedGdiObject<HFONT>;
using TScopedBrush = TScopedGdiObject<HBRUSH>;
using TScopedBitmap = TScopedGdiObject<HBITMAP>;

// A memory device context compatible with another one.
class TScopedMemoryDC {
 public:
  explicit TScopedMemoryDC(HDC compatibleWith) : FDC(::CreateCompatibleDC(compatibleWith)) {}
  ~TScopedMemoryDC() {
    if (FDC != nullptr) ::DeleteDC(FDC);
  }
  TScopedMemoryDC(const TScopedMemoryDC&) = delete;
  TScopedMemoryDC& operator=(const TScopedMemoryDC&) = delete;
  HDC Get() const { return FDC; }

 private:
  HDC FDC;
};

// The device context of a window (or of the screen for a null window), borrowed.
class TScopedWindowDC {
 public:
  explicit TScopedWindowDC(HWND window) : FWindow(window), FDC(::GetDC(window)) {}
  ~TScopedWindowDC() {
    if (FDC != nullptr) ::ReleaseDC(FWindow, FDC);
  }
  TScopedWindowDC(const TScopedWindowDC&) = delete;
  TScopedWindowDC& operator=(const TScopedWindowDC&) = delete;
  HDC Get() const { return FDC; }

 private:
  HWND FWindow;
  HDC FDC;
};

// An object selected into a device context; the previous one comes back when dropped.
class TSelectedObject {
 public:
  TSelectedObject(HDC dc, HGDIOBJ object) : FDC(dc), FOld(::SelectObject(dc, object)) {}
  ~TSelectedObject() { ::SelectObject(FDC, FOld); }
  TSelectedObject(const TSelectedObject&) = delete;
  TSelectedObject& operator=(const TSelectedObject&) = delete;

 private:
  HDC FDC;
  HGDIOBJ FOld;
};

// BeginPaint ... EndPaint of one WM_PAINT.
class TPaintScope {
 public:
  explicit TPaintScope(HWND window) : FWindow(window) { ::BeginPaint(window, &FPaint); }
  ~TPaintScope() { ::EndPaint(FWindow, &FPaint); }
  TPaintScope(const TPaintScope&) = delete;
  TPaintScope& operator=(const TPaintScope&) = delete;
  HDC DC() const { return FPaint.hdc; }
  const RECT& Area() const { return FPaint.rcPaint; }

 private:
  HWND FWindow;
  PAINTSTRUCT FPaint{};
};

}  // namespace cvl
