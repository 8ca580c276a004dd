// GDI+ is usable while one session lives; every picture must be gone before it ends.
#pragma once

#include <windows.h>

#include "win32/base/ScopedHandle.h"

namespace cvl {

// The token of GdiplusStartup, ended with GdiplusShutdown.
struct TGdiplusTokenTraits {
  using THandle = ULONG_PTR;
  static ULONG_PTR NullHandle() { return 0; }
  static bool IsValid(ULONG_PTR token) { return token != 0; }
  static bool Close(ULONG_PTR token);
};

class TGdiplusSession {
 public:
  TGdiplusSession();  // raises cvl::Exception when GDI+ does not start

 private:
  TGenericScopedHandle<TGdiplusTokenTraits> FToken;
};

}  // namespace cvl
