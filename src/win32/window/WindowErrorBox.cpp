#include "win32/window/WindowErrorBox.h"

#include "core/Exception.h"
#include "core/Text.h"
#include "win32/base/WinText.h"
#include "win32/files/Paths.h"
#include "win32/window/CommonControls.h"

namespace cvl {

namespace {

// The message an error box shows for an exception: its message, with a full stop added
// unless it already ends in punctuation.
std::u16string ExceptionBoxText(const std::exception& error) {
  const auto* own = dynamic_cast<const Exception*>(&error);
  std::u16string text = own != nullptr ? own->Message() : Utf8ToUtf16(error.what());
  // Characters above '.' in code order are letters, digits and most signs: those get a
  // full stop; a text ending in '.', '!', ',' or a blank is left as it is.
  if (!text.empty() && text.back() > u'.') text += u'.';
  return text;
}

}  // namespace

std::u16string ApplicationTitle() {
  std::u16string name = ProgramFileName();
  const auto dot = name.rfind(u'.');
  if (dot != std::u16string::npos) name.erase(dot);
  return name;
}

void ShowErrorBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT flags) {
  ::MessageBoxW(owner, ToWide(text).c_str(), ToWide(caption).c_str(), flags | MB_ICONERROR);
}

void ShowExceptionBox(HWND owner, const std::exception& error) {
  ShowErrorBox(owner, ExceptionBoxText(error), ApplicationTitle());
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
  const std::u16string title = ApplicationTitle();
  int pressed = 0;
  if (FAILED(ShowTaskDialog(owner, ToWide(title).c_str(), ToWide(message).c_str(), TDCBF_CLOSE_BUTTON,
                            TD_ERROR_ICON, &pressed))) {
    // Without the common controls' task dialog the message still reaches the user.
    ShowErrorBox(owner, message, title);
  }
}

}  // namespace cvl
