// Components drawn by their window rather than being windows of their own: the outline
// shape, pictures and text labels. Bounds are in pixels at 96 DPI; the surface that
// holds them (WindowSurface.h) scales, paints and routes the mouse to them.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "win32/window/GdiScoped.h"
#include "win32/window/WindowDpi.h"

namespace Gdiplus {
class Graphics;
}

namespace cvl {

class TPicture;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Where a control paints: the device context, GDI+ on it, the scale and the offset of
// the client area's origin in the device context.
struct TPaintContext {
  HDC DC;
  Gdiplus::Graphics& Graphics;
  const TDpiScale& Scale;
  POINT Origin;
};

class TDrawnControl {
 public:
  TDrawnControl(int left, int top, int width, int height, bool visible)
      : FLeft(left), FTop(top), FWidth(width), FHeight(height), FVisible(visible) {}
  virtual ~TDrawnControl() = default;
  TDrawnControl(const TDrawnControl&) = delete;
  TDrawnControl& operator=(const TDrawnControl&) = delete;

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool visible);
  // Client-area pixels at the given scale.
  RECT Bounds(const TDpiScale& scale) const { return scale.ScaleBounds(FLeft, FTop, FWidth, FHeight); }
  virtual void Paint(const TPaintContext& context) const = 0;

  // Mouse events, raised by the surface.
  std::function<void()> OnClick;
  std::function<void()> OnMouseEnter;
  std::function<void()> OnMouseLeave;
  std::function<void(TMouseButton)> OnMouseDown;
  // Set by the surface: asks for the control's area to be painted again.
  std::function<void(const TDrawnControl&)> OnChanged;

 protected:
  RECT PaintRect(const TPaintContext& context) const;
  void Changed() const {
    if (OnChanged) OnChanged(*this);
  }

 private:
  int FLeft, FTop, FWidth, FHeight;
  bool FVisible;
};

// A filled rectangle with a one-pixel outline.
class TShapeControl : public TDrawnControl {
 public:
  TShapeControl(int left, int top, int width, int height, COLORREF fill, COLORREF outline)
      : TDrawnControl(left, top, width, height, true), FFill(fill), FOutline(outline) {}
  void Paint(const TPaintContext& context) const override;

 private:
  COLORREF FFill, FOutline;
};

// A picture centred in its box; animated pictures show their current frame.
class TPictureControl : public TDrawnControl {
 public:
  using TDrawnControl::TDrawnControl;
  const std::shared_ptr<TPicture>& Picture() const { return FPicture; }
  void SetPicture(std::shared_ptr<TPicture> picture);
  // Moves to the next frame and returns its display time in milliseconds.
  unsigned NextFrame();
  unsigned FrameDelay() const;
  void Paint(const TPaintContext& context) const override;

 private:
  std::shared_ptr<TPicture> FPicture;
  int FFrame = 0;
};

// Text in one font and colour, centred or left-aligned, top-aligned, never wrapped
// (line breaks in the text start new lines). The text also lives in a child window of
// its own, so that screen readers and other accessibility tools can read it.
class TLabelControl : public TDrawnControl {
 public:
  TLabelControl(int left, int top, int width, int height, bool visible, std::u16string text,
                const wchar_t* fontFace, int fontHeight, COLORREF colour, bool centred);

  // Makes the accessible child window; its window text is the label's text.
  void CreateAccessibleWindow(HWND parent, int id, const TDpiScale& scale);

  const std::u16string& Text() const { return FText; }
  void SetText(const std::u16string& text);
  COLORREF Colour() const { return FColour; }
  void SetColour(COLORREF colour);
  bool Bold() const { return FBold; }
  void SetBold(bool bold);
  void SetVisible(bool visible) override;
  void Paint(const TPaintContext& context) const override;

 private:
  HFONT Font(const TDpiScale& scale) const;

  std::u16string FText;
  const wchar_t* FFontFace;
  int FFontHeight;
  COLORREF FColour;
  bool FCentred;
  bool FBold = false;
  HWND FWindow = nullptr;  // owned by its parent window
  mutable TScopedFont FFont;
  mutable int FFontDpi = 0;
};

}  // namespace cvl
