// Running the program's one window: the style, the window, the message loop.
#pragma once

#include <string>

#include "app/FrmMain.h"

namespace cvl {

inline constexpr char16_t ApplicationStyleName[] = u"Carbon";
inline constexpr char16_t StyleNotFoundMessage[] = u"Style '%s' not found";

// Activates the named style; when the program carries none of that name, says so in an
// error box with a single Close button and keeps the system's look.
void ActivateStyle(const std::u16string& name);

// Activates the style, creates the main window (hidden; its creation handler runs),
// shows it and runs the message loop until it closes.
void RunApplication(TFrmMainHooks hooks);

}  // namespace cvl
