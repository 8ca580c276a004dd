// Starting another program from one command line, without a console window and
// without redirecting anything.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "win32/base/SystemError.h"

namespace cvl {

// Starts the program and returns when it has ended, letting the window's messages run
// every 10 ms meanwhile (so handlers may run nested inside). Raises EOSError when the
// program cannot be started. Main thread only.
void RunAndWait(std::u16string_view commandLine);

// Starts the program and returns at once: true when the process was created.
bool RunProgram(std::u16string_view commandLine);

}  // namespace cvl
