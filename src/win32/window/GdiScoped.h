// Owners of GDI objects and device contexts, made from the one scoped-handle template
// (base/ScopedHandle.h): each released exactly once, on every path.
#pragma once

#include <windows.h>

#include "win32/base/ScopedHandle.h"

namespace cvl {

// A GDI object the program made (font, brush, pen, bitmap): deleted when dropped.
template <class T>
struct TGdiObjectTraits {
  using THandle = T;
  static T NullHandle() { return nullptr; }
  static bool IsValid(T object) { return object != nullptr; }
  static bool Close(T object) { return ::DeleteObject(object) != FALSE; }
};
template <class T>
using TScopedGdiObject = TGenericScopedHandle<TGdiObjectTraits<T>>;
using TScopedFont = TScopedGdiObject<HFONT>;
using TScopedBrush = TScopedGdiObject<HBRUSH>;
using TScopedBitmap = TScopedGdiObject<HBITMAP>;

// A memory device context compatible with another one.
struct TMemoryDCTraits {
  using THandle = HDC;
  static HDC NullHandle() { return nullptr; }
  static bool IsValid(HDC dc) { return dc != nullptr; }
  static bool Close(HDC dc) { return ::DeleteDC(dc) != FALSE; }
};
class TScopedMemoryDC : public TGenericScopedHandle<TMemoryDCTraits> {
 public:
  explicit TScopedMemoryDC(HDC compatibleWith) : TGenericScopedHandle(::CreateCompatibleDC(compatibleWith)) {}
};

// The device context of a window (of the screen for a null window), borrowed.
struct TWindowDCTraits {
  struct THandle {
    HWND Window;
    HDC DC;
  };
  static THandle NullHandle() { return {nullptr, nullptr}; }
  static bool IsValid(const THandle& borrowed) { return borrowed.DC != nullptr; }
  static bool Close(const THandle& borrowed) { return ::ReleaseDC(borrowed.Window, borrowed.DC) != 0; }
};
class TScopedWindowDC : public TGenericScopedHandle<TWindowDCTraits> {
 public:
  explicit TScopedWindowDC(HWND window) : TGenericScopedHandle({window, ::GetDC(window)}) {}
  HDC DC() const { return Get().DC; }
};

// An object selected into a device context; the previous one comes back when dropped.
struct TSelectionTraits {
  struct THandle {
    HDC DC;
    HGDIOBJ Previous;
  };
  static THandle NullHandle() { return {nullptr, nullptr}; }
  static bool IsValid(const THandle& selection) { return selection.DC != nullptr && selection.Previous != nullptr; }
  static bool Close(const THandle& selection) { return ::SelectObject(selection.DC, selection.Previous) != nullptr; }
};
class TSelectedObject : public TGenericScopedHandle<TSelectionTraits> {
 public:
  TSelectedObject(HDC dc, HGDIOBJ object) : TGenericScopedHandle({dc, ::SelectObject(dc, object)}) {}
};

// BeginPaint ... EndPaint of one WM_PAINT.
struct TPaintTraits {
  struct THandle {
    HWND Window;
    PAINTSTRUCT Paint;
  };
  static THandle NullHandle() { return {nullptr, {}}; }
  static bool IsValid(const THandle& paint) { return paint.Window != nullptr; }
  static bool Close(const THandle& paint) { return ::EndPaint(paint.Window, &paint.Paint) != FALSE; }
};
class TPaintScope : public TGenericScopedHandle<TPaintTraits> {
 public:
  explicit TPaintScope(HWND window) : TGenericScopedHandle(Begin(window)) {}
  HDC DC() const { return Get().Paint.hdc; }
  const RECT& Area() const { return Get().Paint.rcPaint; }

 private:
  static THandle Begin(HWND window) {
    THandle paint{window, {}};
    ::BeginPaint(window, &paint.Paint);
    return paint;
  }
};

}  // namespace cvl
