// The program's error boxes: one look for all of them (the error icon, the program's
// name as the caption), how an error that reached an event handler is shown, and the
// error box with a single Close button.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

namespace cvl {

// The program's title: its executable's name without the extension.
std::u16string ApplicationTitle();

// A message box with the error icon; flags add to it (MB_OK when none). Blocks until
// dismissed.
void ShowErrorBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT flags = MB_OK);

// Shows the exception in an error box (title, message with a full stop added unless it
// already ends in punctuation, OK) owned by the window, which may be null; the program
// goes on afterwards.
void ShowExceptionBox(HWND owner, const std::exception& error);
// Same for an exception of unknown kind (the current one inside a catch block).
void ShowCurrentExceptionBox(HWND owner);

// An error box with a single Close button.
void ShowErrorBoxWithClose(HWND owner, const std::u16string& message);

}  // namespace cvl
