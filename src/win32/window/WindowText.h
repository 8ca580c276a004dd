// The text of a window (a control's caption, an edit field's contents).
#pragma once

#include <windows.h>

#include <string>

namespace cvl {

std::u16string WindowTextOf(HWND window);

}  // namespace cvl
