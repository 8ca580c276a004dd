// Layout is written in pixels at 96 dots per inch and scaled to the display's DPI.
#pragma once

#include <windows.h>

namespace cvl {

class TDpiScale {
 public:
  explicit TDpiScale(int dpi = 96) : FDpi(dpi) {}
  // The DPI of the screen as this DPI-aware process sees it.
  static TDpiScale ForScreen();

  int Dpi() const { return FDpi; }
  int Scale(int value96) const { return ::MulDiv(value96, FDpi, 96); }
  // A rectangle given as left, top, width, height at 96 DPI.
  RECT ScaleBounds(int left, int top, int width, int height) const;

 private:
  int FDpi;
};

}  // namespace cvl
