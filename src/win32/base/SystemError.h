// The system's own message text for an error code.
#pragma once

#include <windows.h>

#include <string>

namespace cvl {

// FormatMessage's text for the code, without its trailing line break; empty when the
// system has no text for it.
std::u16string SystemErrorMessage(DWORD code);

}  // namespace cvl
