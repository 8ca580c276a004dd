#include "AnsiCodePage.h"

namespace cvl {
namespace {

// Bytes 80 to 9F of Windows-1252; the rest of the code page equals ISO 8859-1.
constexpr char16_t HighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

char EncodeUnit(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i) {
    if (HighControls[i] == c) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

std::u16string TWindows1252CodePage::Decode(std::string_view bytes) const {
  std::u16string text;
  text.reserve(bytes.size());
  for (const char b : bytes) {
    const auto u = static_cast<unsigned char>(b);
    text.push_back(u >= 0x80 && u < 0xA0 ? HighControls[u - 0x80] : static_cast<char16_t>(u));
  }
  return text;
}

std::string TWindows1252CodePage::Encode(std::u16string_view text) const {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    // A character outside the basic plane is one "?", not two.
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
    bytes.push_back(EncodeUnit(text[i]));
  }
  return bytes;
}

}  // namespace cvl
