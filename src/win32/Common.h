// Starting another program from one command line, without a console window and
// without redirecting anything.
#pragma once

#include <functional>

#include <windows.h>

#include <string>
#include <string_view>

#include "core/Exception.h"

namespace cvl {

inline constexpr std::u16string_view SOSErrorText = u"System Error.  Code: %d.\r\n%s%s";
inline constexpr std::u16string_view SUnkOSErrorText = u"A call to an OS function failed";

// A failed call of the operating system, with its error code and the system's text.
class EOSError : public Exception {
 public:
  explicit EOSError(DWORD code);
  DWORD ErrorCode() const noexcept { return FErrorCode; }

 private:
  DWORD FErrorCode;
};

// Starts the program and returns when it has ended, letting the window's messages run
// every 10 ms meanwhile (so handlers may run nested inside). Raises EOSError when the
// program cannot be started. When `cancelled` says so it stops waiting and returns at
// once, leaving the program to finish by itself. Main thread only.
void RunAndWait(std::u16string_view commandLine, const std::function<bool()>& cancelled = {});

// Starts the program and returns at once: true when the process was created.
bool RunProgram(std::u16string_view commandLine);

}  // namespace cvl
