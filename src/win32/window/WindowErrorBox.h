// The standard boxes of the program: how an error that reached an event handler is shown,
// and the error box with a single Close button.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

namespace cvl {

// The program's title: its executable's name without the extension.
std::u16string ApplicationTitle();

// The message an error box shows for an exception: its message, with a full stop added
// unless it already ends in punctuation.
std::u16string ExceptionBoxText(const std::exception& error);

// Shows the exception in an error box (title, message, OK) owned by the window, which may
// be null; the program goes on afterwards.
void ShowExceptionBox(HWND owner, const std::exception& error);
// Same for an exception of unknown kind (the current one inside a catch block).
void ShowCurrentExceptionBox(HWND owner);

// An error box with a single Close button.
void ShowErrorBoxWithClose(HWND owner, const std::u16string& message);

}  // namespace cvl
