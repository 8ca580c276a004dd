#include "win32/window/GdiplusSession.h"

#include <objidl.h>
#include <gdiplus.h>

#include "core/Exception.h"

namespace cvl {

TGdiplusSession::TGdiplusSession() {
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&FToken, &input, nullptr) != Gdiplus::Ok) {
    throw Exception("EGdiplusError", u"GDI+ could not be started");
  }
}

TGdiplusSession::~TGdiplusSession() { Gdiplus::GdiplusShutdown(FToken); }

}  // namespace cvl
