#include "app/Application.h"

#include <windows.h>

#include "core/Text.h"
#include "win32/window/CommonControls.h"
#include "win32/window/GdiplusSession.h"
#include "win32/window/WindowErrorBox.h"
#include "win32/window/WindowStyle.h"

namespace cvl {

void ActivateStyle(const std::u16string& name) {
  if (!TrySetVisualStyle(name)) ShowErrorBoxWithClose(nullptr, FormatText(StyleNotFoundMessage, {name}));
}

void RunApplication(TFrmMainHooks hooks) {
  TGdiplusSession gdiplus;
  ActivateStyle(ApplicationStyleName);
  TFrmMain frmMain(std::move(hooks));
  // The common controls are loaded only now, not with the program: their library
  // registers all of its window classes when it loads, and under Wine that start-up
  // work, ahead of everything else, cost more time to the first window than here.
  InitCommonControls(ICC_STANDARD_CLASSES);
  frmMain.Create();
  frmMain.Show();
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

}  // namespace cvl
