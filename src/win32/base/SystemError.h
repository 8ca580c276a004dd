// The system's own errors: the message text for an error code, and the exception for a
// failed call of the operating system.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "core/Exception.h"

namespace cvl {

inline constexpr std::u16string_view SOSErrorText = u"System Error.  Code: %d.\r\n%s%s";
inline constexpr std::u16string_view SUnkOSErrorText = u"A call to an OS function failed";

// FormatMessage's text for the code, without its trailing line break; empty when the
// system has no text for it.
std::u16string SystemErrorMessage(DWORD code);

// A failed call of the operating system, with its error code and the system's text.
class EOSError : public Exception {
 public:
  explicit EOSError(DWORD code);
  DWORD ErrorCode() const noexcept { return FErrorCode; }

 private:
  DWORD FErrorCode;
};

// EOSError for the calling thread's last error: what a failed call left behind.
[[noreturn]] void RaiseLastOSError();

}  // namespace cvl
