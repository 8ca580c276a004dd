// Starting another program from one command line, without a console window and
// without redirecting anything.
#pragma once

#include <functional>

#include <windows.h>

#include <string>
#include <string_view>

#include "win32/base/SystemError.h"

namespace cvl {

// Starts the program and returns when it has ended, letting the window's messages run
// every 10 ms meanwhile (so handlers may run nested inside). Raises EOSError when the
// program cannot be started. When `cancelled` says so it stops waiting and returns at
// once, leaving the program to finish by itself. Main thread only.
void RunAndWait(std::u16string_view commandLine, const std::function<bool()>& cancelled = {});

// Starts the program and returns at once: true when the process was created.
bool RunProgram(std::u16string_view commandLine);

}  // namespace cvl
