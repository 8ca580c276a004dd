#include "win32/window/WindowSurface.h"

#include <objidl.h>
#include <gdiplus.h>

#include "win32/window/GdiScoped.h"

namespace cvl {

namespace {
// How far a label's text may reach beyond its box, at 96 DPI.
constexpr int LabelOverflow = 8;
}  // namespace

void TWindowSurface::Attach(HWND window, TDpiScale scale) {
  FWindow = window;
  FScale = scale;
}

void TWindowSurface::Add(TDrawnControl& control) {
  control.OnChanged = [this](const TDrawnControl& changed) { Invalidate(changed); };
  FControls.push_back(&control);
}

void TWindowSurface::Invalidate(const TDrawnControl& control) const {
  if (FWindow == nullptr) return;
  RECT r = control.Bounds(FScale);
  ::InflateRect(&r, FScale.Scale(LabelOverflow), 0);
  // Labels lie in child windows of their own: they must repaint with what is under them.
  ::RedrawWindow(FWindow, &r, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void TWindowSurface::Paint(HDC target, const RECT& area, POINT at) const {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return;
  TScopedMemoryDC memory(target);
  TScopedBitmap bitmap(::CreateCompatibleBitmap(target, width, height));
  if (memory.Get() == nullptr || !bitmap) return;
  {
    TSelectedObject selected(memory.Get(), bitmap.Get());
    {
      Gdiplus::Graphics graphics(memory.Get());
      const TPaintContext context{memory.Get(), graphics, FScale, POINT{-area.left, -area.top}};
      for (const TDrawnControl* control : FControls) {
        RECT bounds = control->Bounds(FScale), overlap;
        if (control->Visible() && ::IntersectRect(&overlap, &bounds, &area)) control->Paint(context);
      }
    }
    ::BitBlt(target, at.x, at.y, width, height, memory.Get(), 0, 0, SRCCOPY);
  }
}

void TWindowSurface::PaintChild(const DRAWITEMSTRUCT& item) const {
  RECT area;
  ::GetClientRect(item.hwndItem, &area);
  ::MapWindowPoints(item.hwndItem, FWindow, reinterpret_cast<POINT*>(&area), 2);
  Paint(item.hDC, area, POINT{0, 0});
}

TDrawnControl* TWindowSurface::ControlAt(POINT point) const {
  for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
    const RECT bounds = (*it)->Bounds(FScale);
    if ((*it)->Visible() && ::PtInRect(&bounds, point)) return *it;
  }
  return nullptr;
}

void TWindowSurface::SetHover(TDrawnControl* control) {
  if (control == FHover) return;
  TDrawnControl* left = FHover;
  FHover = control;
  if (left != nullptr && left->OnMouseLeave) left->OnMouseLeave();
  if (control != nullptr && control->OnMouseEnter) control->OnMouseEnter();
}

void TWindowSurface::MouseMove(POINT point) {
  if (!FTrackingLeave) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, FWindow, 0};
    FTrackingLeave = ::TrackMouseEvent(&track) != FALSE;
  }
  SetHover(ControlAt(point));
}

void TWindowSurface::MouseLeave() {
  FTrackingLeave = false;
  SetHover(nullptr);
}

void TWindowSurface::MouseDown(POINT point, TMouseButton button) {
  TDrawnControl* control = ControlAt(point);
  if (control == nullptr) return;
  if (button == TMouseButton::mbLeft) {
    // Like a pressed button: the release counts as a click only over the same control.
    FPressed = control;
    ::SetCapture(FWindow);
  }
  if (control->OnMouseDown) control->OnMouseDown(button);
}

void TWindowSurface::MouseUp(POINT point, TMouseButton button) {
  if (button != TMouseButton::mbLeft) return;
  TDrawnControl* pressed = FPressed;
  FPressed = nullptr;
  if (::GetCapture() == FWindow) ::ReleaseCapture();
  if (pressed != nullptr && pressed == ControlAt(point) && pressed->OnClick) pressed->OnClick();
}

void TWindowSurface::SetCursor(HCURSOR cursor) {
  FCursor = cursor;
  POINT p;
  if (::GetCursorPos(&p) && ::WindowFromPoint(p) != nullptr) {
    HWND under = ::WindowFromPoint(p);
    if (under == FWindow || ::IsChild(FWindow, under)) ::SetCursor(cursor);
  }
}

}  // namespace cvl
