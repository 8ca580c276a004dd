// The client area of a window made of drawn controls: paints them bottom to top without
// flicker (into a memory bitmap first) and routes the mouse to the topmost visible
// control under it, with enter and leave events as the pointer moves between them.
#pragma once

#include <windows.h>

#include <vector>

#include "win32/window/WindowControls.h"
#include "win32/window/WindowDpi.h"

namespace cvl {

class TWindowSurface {
 public:
  void Attach(HWND window, TDpiScale scale);
  const TDpiScale& Scale() const { return FScale; }
  // Controls are added from the bottom to the top.
  void Add(TDrawnControl& control);
  void Invalidate(const TDrawnControl& control) const;

  // Paints the area (client pixels) of the scene onto target at the given point.
  void Paint(HDC target, const RECT& area, POINT at) const;
  // WM_DRAWITEM of a label's accessible child window: paints the scene under it.
  void PaintChild(const DRAWITEMSTRUCT& item) const;

  // Mouse messages of the window, client coordinates.
  void MouseMove(POINT point);
  void MouseLeave();
  void MouseDown(POINT point, TMouseButton button);
  void MouseUp(POINT point, TMouseButton button);

  // The cursor shown over the whole client area (WM_SETCURSOR).
  HCURSOR Cursor() const { return FCursor; }
  void SetCursor(HCURSOR cursor);

 private:
  TDrawnControl* ControlAt(POINT point) const;
  void SetHover(TDrawnControl* control);

  HWND FWindow = nullptr;
  TDpiScale FScale;
  std::vector<TDrawnControl*> FControls;  // bottom to top; owned by the window
  TDrawnControl* FHover = nullptr;
  TDrawnControl* FPressed = nullptr;
  bool FTrackingLeave = false;
  HCURSOR FCursor = ::LoadCursorW(nullptr, IDC_ARROW);
};

}  // namespace cvl
