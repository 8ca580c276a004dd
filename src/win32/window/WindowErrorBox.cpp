#include "win32/window/WindowErrorBox.h"

#include "core/Exception.h"
#include "core/Text.h"
#include "win32/base/WinText.h"
#include "win32/window/CommonControls.h"

namespace cvl {

std::u16string ApplicationTitle() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name(path, length);
  const auto slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  const auto dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return FromWide(name);
}

std::u16string ExceptionBoxText(const std::exception& error) {
  const auto* own = dynamic_cast<const Exception*>(&error);
  std::u16string text = own != nullptr ? own->Message() : Utf8ToUtf16(error.what());
  // Characters above '.' in code order are letters, digits and most signs: those get a
  // full stop; a text ending in '.', '!', ',' or a blank is left as it is.
  if (!text.empty() && text.back() > u'.') text += u'.';
  return text;
}

void ShowExceptionBox(HWND owner, const std::exception& error) {
  const std::wstring text = ToWide(ExceptionBoxText(error));
  const std::wstring title = ToWide(ApplicationTitle());
  ::MessageBoxW(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
}

void ShowCurrentExceptionBox(HWND owner) {
  try {
    throw;
  } catch (const std::exception& error) {
    ShowExceptionBox(owner, error);
  } catch (...) {
    ShowExceptionBox(owner, Exception("Exception", u"Unknown exception"));
  }
}

void ShowErrorBoxWithClose(HWND owner, const std::u16string& message) {
  const std::wstring text = ToWide(message);
  const std::wstring title = ToWide(ApplicationTitle());
  int pressed = 0;
  if (FAILED(ShowTaskDialog(owner, title.c_str(), text.c_str(), TDCBF_CLOSE_BUTTON, TD_ERROR_ICON, &pressed))) {
    // Without the common controls' task dialog the message still reaches the user.
    ::MessageBoxW(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
  }
}

}  // namespace cvl
