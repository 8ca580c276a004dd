// Text files as the launcher reads and writes them: the encoding is chosen by the
// byte-order mark, the system's ANSI code page without one, and the same encoding and
// mark are written back.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "AnsiCodePage.h"

namespace cvl {

enum class TTextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

struct TDecodedText {
  TTextEncoding Encoding = TTextEncoding::Ansi;
  std::u16string Text;  // without the mark
};

// EF BB BF is UTF-8, FF FE UTF-16 little-endian, FE FF UTF-16 big-endian, tested in that
// order; anything else is the ANSI code page. A lone last byte of UTF-16 is dropped.
TDecodedText DecodeText(std::string_view bytes, const IAnsiCodePage& ansi);

// The mark of the encoding (none for ANSI), then the text.
std::string EncodeText(std::u16string_view text, TTextEncoding encoding, const IAnsiCodePage& ansi);

// Splits at CR LF, a lone CR and a lone LF; a break at the very end gives no extra line.
std::vector<std::u16string> SplitLines(std::u16string_view text);

}  // namespace cvl
