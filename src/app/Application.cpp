#include "app/Application.h"

#include <windows.h>
#include <commctrl.h>

#include "core/Text.h"
#include "win32/GdiplusSession.h"
#include "win32/WindowErrorBox.h"
#include "win32/WindowStyle.h"

namespace cvl {

void ActivateStyle(const std::u16string& name) {
  if (!TrySetVisualStyle(name)) ShowErrorBoxWithClose(nullptr, FormatText(StyleNotFoundMessage, {name}));
}

void RunApplication(TFrmMainHooks hooks) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  TGdiplusSession gdiplus;
  ActivateStyle(ApplicationStyleName);
  TFrmMain frmMain(std::move(hooks));
  frmMain.Create();
  frmMain.Show();
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

}  // namespace cvl
