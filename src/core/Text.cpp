#include "Text.h"

#include <vector>

namespace cvl {

std::string NarrowLatin1(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(static_cast<unsigned char>(unit & 0xFF)));
  }
  return bytes;
}

std::u16string WidenLatin1(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (char byte : bytes) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
  }
  return text;
}

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      char32_t cp = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      AppendUtf8(out, cp);
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    int extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      cp = lead & 0x1F;
      minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      cp = lead & 0x0F;
      minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      cp = lead & 0x07;
      minimum = 0x10000;
    } else {
      AppendUtf16(out, kReplacement);
      ++i;
      continue;
    }
    bool valid = true;
    int taken = 0;
    for (int k = 1; k <= extra; ++k) {
      if (i + static_cast<std::size_t>(k) >= bytes.size()) {
        valid = false;
        break;
      }
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      cp = (cp << 6) | (next & 0x3F);
      taken = k;
    }
    if (!valid || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      AppendUtf16(out, kReplacement);
      i += 1 + static_cast<std::size_t>(taken);
      continue;
    }
    AppendUtf16(out, cp);
    i += 1 + static_cast<std::size_t>(extra);
  }
  return out;
}

std::u16string FormatText(std::u16string_view format, std::initializer_list<std::u16string_view> args) {
  const std::vector<std::u16string_view> values(args);
  std::u16string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char16_t c = format[i];
    if (c != u'%' || i + 1 >= format.size()) {
      out.push_back(c);
      continue;
    }
    const char16_t conversion = format[i + 1];
    if (conversion == u'%') {
      out.push_back(u'%');
      ++i;
      continue;
    }
    if (conversion == u's' || conversion == u'd') {
      if (next < values.size()) {
        out += values[next++];
        ++i;
        continue;
      }
      out.push_back(c);
      continue;
    }
    // "%N:s": an explicit argument index.
    std::size_t j = i + 1;
    std::size_t index = 0;
    while (j < format.size() && format[j] >= u'0' && format[j] <= u'9') {
      index = index * 10 + static_cast<std::size_t>(format[j] - u'0');
      ++j;
    }
    if (j > i + 1 && j + 1 < format.size() && format[j] == u':' &&
        (format[j + 1] == u's' || format[j + 1] == u'd') && index < values.size()) {
      out += values[index];
      next = index + 1;
      i = j + 1;
      continue;
    }
    out.push_back(c);
  }
  return out;
}

std::u16string UpperAscii(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c >= u'a' && c <= u'z') {
      c = static_cast<char16_t>(c - u'a' + u'A');
    }
  }
  return out;
}

std::u16string IntToText(long long value) {
  return WidenLatin1(std::to_string(value));
}

}  // namespace cvl
