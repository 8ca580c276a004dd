// The platform's share of the launcher's start: the bare window program plus what the
// launcher's window needs from the system before it shows, and nothing of ours: the same
// resources and manifest (common controls version 6), GDI+ started, the four pictures
// decoded from the resources, the common controls loaded, the pictures drawn once.
// Built by bench/run.sh with the same cross compiler and static runtimes as the launcher.
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>
#include <shlwapi.h>

#include <memory>
#include <vector>

#include "BenchWindow.h"
#include "win32/base/ComScoped.h"

namespace {

constexpr wchar_t kClassName[] = L"CvlArtworkWindow";
constexpr wchar_t kCaption[] = L"CVL artwork window";

std::vector<std::unique_ptr<Gdiplus::Image>> gPictures;

Gdiplus::Image* Picture(const wchar_t* name) {
  HRSRC found = ::FindResourceW(nullptr, name, MAKEINTRESOURCEW(10));
  if (found == nullptr) return nullptr;
  const auto* bytes = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, found)));
  const cvl::TComPtr<IStream> stream(::SHCreateMemStream(bytes, ::SizeofResource(nullptr, found)));
  if (!stream) return nullptr;
  return Gdiplus::Image::FromStream(stream.Get());
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    Gdiplus::Graphics graphics(dc);
    int left = 0;
    for (const auto& picture : gPictures) {
      graphics.DrawImage(picture.get(), left, 0);
      left += static_cast<int>(picture->GetWidth());
    }
    ::EndPaint(window, &paint);
    return 0;
  }
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return 1;
  for (const wchar_t* name : {L"IMGLOGO", L"IMGLOADING", L"IMGRECUADROIN", L"IMGRECUADROOUT"}) {
    Gdiplus::Image* picture = Picture(name);
    if (picture == nullptr) return 1;
    gPictures.emplace_back(picture);
  }
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  const int result = RunBenchWindow(instance, kClassName, kCaption, &WindowProc, show);
  gPictures.clear();
  Gdiplus::GdiplusShutdown(token);
  return result;
}
