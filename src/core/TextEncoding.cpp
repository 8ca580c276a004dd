#include "TextEncoding.h"

#include "Text.h"

namespace cvl {
namespace {

constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view Utf16LEMark = "\xFF\xFE";
constexpr std::string_view Utf16BEMark = "\xFE\xFF";

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    text.push_back(static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
  }
  return text;
}

std::string EncodeUtf16(std::u16string_view text, bool bigEndian) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t c : text) {
    const char high = static_cast<char>(c >> 8);
    const char low = static_cast<char>(c & 0xFF);
    bytes.push_back(bigEndian ? high : low);
    bytes.push_back(bigEndian ? low : high);
  }
  return bytes;
}

}  // namespace

TDecodedText DecodeText(std::string_view bytes, const IAnsiCodePage& ansi) {
  if (bytes.starts_with(Utf8Mark)) {
    return {TTextEncoding::Utf8, Utf8ToUtf16(bytes.substr(Utf8Mark.size()))};
  }
  if (bytes.starts_with(Utf16LEMark)) {
    return {TTextEncoding::Utf16LE, DecodeUtf16(bytes.substr(Utf16LEMark.size()), false)};
  }
  if (bytes.starts_with(Utf16BEMark)) {
    return {TTextEncoding::Utf16BE, DecodeUtf16(bytes.substr(Utf16BEMark.size()), true)};
  }
  return {TTextEncoding::Ansi, ansi.Decode(bytes)};
}

std::string EncodeText(std::u16string_view text, TTextEncoding encoding, const IAnsiCodePage& ansi) {
  switch (encoding) {
    case TTextEncoding::Utf8:
      return std::string(Utf8Mark) + Utf16ToUtf8(text);
    case TTextEncoding::Utf16LE:
      return std::string(Utf16LEMark) + EncodeUtf16(text, false);
    case TTextEncoding::Utf16BE:
      return std::string(Utf16BEMark) + EncodeUtf16(text, true);
    case TTextEncoding::Ansi:
      break;
  }
  return ansi.Encode(text);
}

std::vector<std::u16string> SplitLines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace cvl
