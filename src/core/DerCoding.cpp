#include "DerCoding.h"

#include <cstddef>

namespace cvl {

std::optional<std::uint8_t> TDerReader::PeekTag() const {
  if (FRest.empty()) return std::nullopt;
  return static_cast<std::uint8_t>(FRest[0]);
}

std::optional<std::string_view> TDerReader::Read(std::uint8_t tag) {
  if (FRest.size() < 2 || static_cast<std::uint8_t>(FRest[0]) != tag) return std::nullopt;
  const auto first = static_cast<std::uint8_t>(FRest[1]);
  std::size_t header = 2;
  std::size_t length = first;
  if (first >= 0x80) {
    // Long form: 1 to 4 length bytes, no leading zero, and only for lengths of 128 up.
    const std::size_t count = first & 0x7F;
    if (count == 0 || count > 4 || FRest.size() < 2 + count) return std::nullopt;
    if (static_cast<std::uint8_t>(FRest[2]) == 0) return std::nullopt;
    length = 0;
    for (std::size_t i = 0; i < count; ++i) length = (length << 8) | static_cast<std::uint8_t>(FRest[2 + i]);
    if (length < 0x80) return std::nullopt;
    header += count;
  }
  if (length > FRest.size() - header) return std::nullopt;
  const std::string_view content = FRest.substr(header, length);
  FRest.remove_prefix(header + length);
  return content;
}

std::optional<std::string_view> DerUnsignedValue(std::string_view content) {
  if (content.empty()) return std::nullopt;
  const auto first = static_cast<std::uint8_t>(content[0]);
  if (first & 0x80) return std::nullopt;  // negative
  if (content.size() > 1 && first == 0) {
    // A leading zero only where the next byte would otherwise read as negative.
    if ((static_cast<std::uint8_t>(content[1]) & 0x80) == 0) return std::nullopt;
    content.remove_prefix(1);
  }
  return content;
}

std::string DerElement(std::uint8_t tag, std::string_view content) {
  std::string out(1, static_cast<char>(tag));
  const std::size_t length = content.size();
  if (length < 0x80) {
    out.push_back(static_cast<char>(length));
  } else {
    std::string bytes;
    for (std::size_t rest = length; rest > 0; rest >>= 8) bytes.insert(bytes.begin(), static_cast<char>(rest & 0xFF));
    out.push_back(static_cast<char>(0x80 | bytes.size()));
    out += bytes;
  }
  out += content;
  return out;
}

std::string DerUnsignedInteger(std::string_view magnitude) {
  while (magnitude.size() > 1 && magnitude[0] == 0) magnitude.remove_prefix(1);
  std::string content(magnitude.empty() ? std::string_view("\0", 1) : magnitude);
  if (static_cast<std::uint8_t>(content[0]) & 0x80) content.insert(content.begin(), '\0');
  return DerElement(der::kInteger, content);
}

}  // namespace cvl
