#include "win32/window/WindowControls.h"

#include <objidl.h>
#include <gdiplus.h>

#include "win32/base/WinText.h"
#include "win32/window/Picture.h"

namespace cvl {

void TDrawnControl::SetVisible(bool visible) {
  if (FVisible == visible) return;
  FVisible = visible;
  Changed();
}

RECT TDrawnControl::PaintRect(const TPaintContext& context) const {
  RECT r = Bounds(context.Scale);
  ::OffsetRect(&r, context.Origin.x, context.Origin.y);
  return r;
}

void TShapeControl::Paint(const TPaintContext& context) const {
  const RECT r = PaintRect(context);
  TScopedBrush outline(::CreateSolidBrush(FOutline));
  TScopedBrush fill(::CreateSolidBrush(FFill));
  ::FillRect(context.DC, &r, outline.Get());
  RECT inner = r;
  const int pen = context.Scale.Scale(1) > 0 ? context.Scale.Scale(1) : 1;
  ::InflateRect(&inner, -pen, -pen);
  ::FillRect(context.DC, &inner, fill.Get());
}

void TPictureControl::SetPicture(std::shared_ptr<TPicture> picture) {
  FPicture = std::move(picture);
  FFrame = 0;
  Changed();
}

unsigned TPictureControl::NextFrame() {
  if (FPicture && FPicture->FrameCount() > 1) {
    FFrame = (FFrame + 1) % FPicture->FrameCount();
    Changed();
  }
  return FrameDelay();
}

unsigned TPictureControl::FrameDelay() const {
  return FPicture && FPicture->FrameCount() > 1 ? FPicture->FrameDelay(FFrame) : 0;
}

void TPictureControl::Paint(const TPaintContext& context) const {
  if (!FPicture) return;
  const RECT box = PaintRect(context);
  const int width = context.Scale.Scale(FPicture->Width());
  const int height = context.Scale.Scale(FPicture->Height());
  const int left = box.left + ((box.right - box.left) - width) / 2;
  const int top = box.top + ((box.bottom - box.top) - height) / 2;
  FPicture->Draw(context.Graphics, FFrame, RECT{left, top, left + width, top + height});
}

TLabelControl::TLabelControl(int left, int top, int width, int height, bool visible, std::u16string text,
                             const wchar_t* fontFace, int fontHeight, COLORREF colour, bool centred)
    : TDrawnControl(left, top, width, height, visible),
      FText(std::move(text)),
      FFontFace(fontFace),
      FFontHeight(fontHeight),
      FColour(colour),
      FCentred(centred) {}

void TLabelControl::CreateAccessibleWindow(HWND parent, int id, const TDpiScale& scale) {
  const RECT r = Bounds(scale);
  // An owner-drawn static: the parent paints it (WM_DRAWITEM), it takes no mouse input
  // of its own (the parent hit-tests its drawn controls), and its text is its name.
  FWindow = ::CreateWindowExW(0, L"STATIC", ToWide(FText).c_str(),
                              WS_CHILD | SS_OWNERDRAW | (Visible() ? WS_VISIBLE : 0), r.left, r.top,
                              r.right - r.left, r.bottom - r.top, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

void TLabelControl::SetText(const std::u16string& text) {
  if (FText == text) return;
  FText = text;
  if (FWindow != nullptr) ::SetWindowTextW(FWindow, ToWide(FText).c_str());
  Changed();
}

void TLabelControl::SetColour(COLORREF colour) {
  if (FColour == colour) return;
  FColour = colour;
  Changed();
}

void TLabelControl::SetBold(bool bold) {
  if (FBold == bold) return;
  FBold = bold;
  FFont.Reset();
  Changed();
}

void TLabelControl::SetVisible(bool visible) {
  if (FWindow != nullptr) ::ShowWindow(FWindow, visible ? SW_SHOWNA : SW_HIDE);
  TDrawnControl::SetVisible(visible);
}

HFONT TLabelControl::Font(const TDpiScale& scale) const {
  if (!FFont || FFontDpi != scale.Dpi()) {
    FFont.Reset(::CreateFontW(-scale.Scale(FFontHeight), 0, 0, 0, FBold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, FFontFace));
    FFontDpi = scale.Dpi();
  }
  return FFont.Get();
}

// A short caption may be a few pixels wider in the font at hand than its box: it is drawn
// whole rather than cut off (the surface repaints a margin around every control).
void TLabelControl::Paint(const TPaintContext& context) const {
  RECT r = PaintRect(context);
  TSelectedObject font(context.DC, Font(context.Scale));
  ::SetBkMode(context.DC, TRANSPARENT);
  ::SetTextColor(context.DC, FColour);
  const std::wstring text = ToWide(FText);
  ::DrawTextW(context.DC, text.c_str(), static_cast<int>(text.size()), &r,
              (FCentred ? DT_CENTER : DT_LEFT) | DT_TOP | DT_NOPREFIX | DT_EXPANDTABS | DT_NOCLIP);
}

}  // namespace cvl
