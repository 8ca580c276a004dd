// The common controls library (version 6, as the manifest asks) is loaded when it is
// first needed rather than with the program: loading it registers all of its window
// classes, which the program need not wait for before its own start-up work.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace cvl {

// InitCommonControlsEx for `classes`; false when the library cannot be loaded.
bool InitCommonControls(DWORD classes);

// TaskDialog from the library; E_NOTIMPL when the library or the function is missing.
HRESULT ShowTaskDialog(HWND owner, PCWSTR title, PCWSTR text, TASKDIALOG_COMMON_BUTTON_FLAGS buttons,
                       PCWSTR icon, int* pressed);

}  // namespace cvl
