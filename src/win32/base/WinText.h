// The one place where the Windows layer converts between the core's text
// (std::u16string) and the platform's wide strings. On Windows both are UTF-16 units.
#pragma once

#include <string>
#include <string_view>

namespace cvl {

std::wstring ToWide(std::u16string_view text);
std::u16string FromWide(std::wstring_view text);
// For a null-terminated wide string that may be null (an empty text then).
std::u16string FromWide(const wchar_t* text);

}  // namespace cvl
