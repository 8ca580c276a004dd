#include "win32/window/WindowDpi.h"

#include "win32/window/GdiScoped.h"

namespace cvl {

TDpiScale TDpiScale::ForScreen() {
  const TScopedWindowDC screen(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen.DC(), LOGPIXELSY) : 96;
  return TDpiScale(dpi > 0 ? dpi : 96);
}

RECT TDpiScale::ScaleBounds(int left, int top, int width, int height) const {
  return RECT{Scale(left), Scale(top), Scale(left + width), Scale(top + height)};
}

}  // namespace cvl
