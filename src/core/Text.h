// Text and byte conversions shared by every part of the launcher.
//
// Text is UTF-16 code units (std::u16string); bytes are bytes (std::string).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace cvl {

// One byte per code unit: the low 8 bits, no character-set conversion.
std::string NarrowLatin1(std::u16string_view text);
// One code unit per byte, 0x00 to 0xFF (the ISO 8859-1 reading).
std::u16string WidenLatin1(std::string_view bytes);

// Lossless for valid input; an unpaired surrogate or an invalid byte becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view bytes);

// Message formatting in the style of the system's own texts: "%s" and "%d" take the
// next argument, "%0:s" and "%1:s" a numbered one, "%%" is a percent sign. The
// arguments are already text; a missing argument leaves the specifier as it stands.
std::u16string FormatText(std::u16string_view format, std::initializer_list<std::u16string_view> args);

// Upper-cases the ASCII letters a to z only, as every path and switch comparison does.
std::u16string UpperAscii(std::u16string_view text);

// Signed decimal text of a number.
std::u16string IntToText(long long value);

}  // namespace cvl
