#include "BodyText.h"

#include <cstdint>

#include "Text.h"

namespace cvl {
namespace {

std::string LowerTrimmed(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && (text[first] == ' ' || text[first] == '\t')) ++first;
  while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t')) --last;
  std::string out(text.substr(first, last - first));
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

struct TMediaType {
  std::string Type;     // "text/html", lower case, "" when none
  std::string Charset;  // lower case, "" when none
};

TMediaType ParseMediaType(std::string_view contentType) {
  TMediaType media;
  std::size_t start = 0;
  bool first = true;
  while (start <= contentType.size()) {
    std::size_t end = contentType.find(';', start);
    if (end == std::string_view::npos) end = contentType.size();
    const std::string part = LowerTrimmed(contentType.substr(start, end - start));
    if (first) {
      media.Type = part;
      first = false;
    } else if (part.rfind("charset", 0) == 0) {
      std::string value = LowerTrimmed(std::string_view(part).substr(7));
      if (!value.empty() && value[0] == '=') {
        value = LowerTrimmed(std::string_view(value).substr(1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
          value = value.substr(1, value.size() - 2);
        }
        media.Charset = value;
      }
    }
    start = end + 1;
  }
  return media;
}

bool EndsWith(const std::string& text, std::string_view tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsTextType(const std::string& type) {
  return type.empty() || type.rfind("text/", 0) == 0 || type == "application/json" ||
         type == "application/xml" || type == "application/javascript" ||
         type == "application/x-www-form-urlencoded" || EndsWith(type, "+json") || EndsWith(type, "+xml");
}

std::u16string DecodeUtf16(std::string_view body, bool bigEndian) {
  if (body.size() >= 2) {
    const auto b0 = static_cast<unsigned char>(body[0]);
    const auto b1 = static_cast<unsigned char>(body[1]);
    if (b0 == 0xFF && b1 == 0xFE) {
      bigEndian = false;
      body.remove_prefix(2);
    } else if (b0 == 0xFE && b1 == 0xFF) {
      bigEndian = true;
      body.remove_prefix(2);
    }
  }
  std::u16string text;
  text.reserve(body.size() / 2);
  for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
    const auto lo = static_cast<unsigned char>(body[bigEndian ? i + 1 : i]);
    const auto hi = static_cast<unsigned char>(body[bigEndian ? i : i + 1]);
    text.push_back(static_cast<char16_t>(lo | (hi << 8)));
  }
  if (body.size() % 2 != 0) text.push_back(u'\xFFFD');
  return text;
}

// The printable characters Windows-1252 puts where ISO 8859-1 has control codes.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::u16string DecodeWindows1252(std::string_view body) {
  std::u16string text = WidenLatin1(body);
  for (char16_t& c : text) {
    if (c >= 0x80 && c <= 0x9F) c = kCp1252High[c - 0x80];
  }
  return text;
}

}  // namespace

std::optional<std::u16string> DecodeBodyText(std::string_view contentType, std::string_view body) {
  const TMediaType media = ParseMediaType(contentType);
  const std::string& cs = media.Charset;
  if (cs.empty()) {
    if (!IsTextType(media.Type)) return std::nullopt;
    return Utf8ToUtf16(body);
  }
  if (cs == "utf-8" || cs == "utf8") return Utf8ToUtf16(body);
  if (cs == "utf-16" || cs == "utf-16le" || cs == "unicode") return DecodeUtf16(body, false);
  if (cs == "utf-16be") return DecodeUtf16(body, true);
  if (cs == "us-ascii" || cs == "ascii" || cs == "iso-8859-1" || cs == "latin1" || cs == "iso8859-1") {
    return WidenLatin1(body);
  }
  if (cs == "windows-1252" || cs == "cp1252") return DecodeWindows1252(body);
  return std::nullopt;
}

}  // namespace cvl
