#include "win32/window/GdiplusSession.h"

#include <objidl.h>
#include <gdiplus.h>

#include "core/Exception.h"

namespace cvl {

bool TGdiplusTokenTraits::Close(ULONG_PTR token) {
  Gdiplus::GdiplusShutdown(token);
  return true;
}

TGdiplusSession::TGdiplusSession() {
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(FToken.Receive(), &input, nullptr) != Gdiplus::Ok) {
    FToken.Release();  // nothing was started
    throw Exception("EGdiplusError", u"GDI+ could not be started");
  }
}

}  // namespace cvl
