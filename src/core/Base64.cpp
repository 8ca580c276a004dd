#include "Base64.h"

#include <array>
#include <cstdint>

namespace cvl {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kPadMarker = 255;

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
  std::array<std::uint8_t, 256> table{};  // outside the alphabet: 0
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  }
  table[static_cast<unsigned char>('=')] = kPadMarker;
  return table;
}

constexpr auto kDecode = MakeDecodeTable();

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t v = (static_cast<std::uint8_t>(bytes[i]) << 16) |
                            (static_cast<std::uint8_t>(bytes[i + 1]) << 8) | static_cast<std::uint8_t>(bytes[i + 2]);
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(kAlphabet[(v >> 6) & 63]);
    out.push_back(kAlphabet[v & 63]);
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 1) {
    const std::uint32_t v = static_cast<std::uint8_t>(bytes[i]) << 16;
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out += "==";
  } else if (rest == 2) {
    const std::uint32_t v = (static_cast<std::uint8_t>(bytes[i]) << 16) | (static_cast<std::uint8_t>(bytes[i + 1]) << 8);
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(kAlphabet[(v >> 6) & 63]);
    out.push_back('=');
  }
  return out;
}

std::string Base64Decode(std::string_view text) {
  const std::size_t whole = text.size() / 4 * 4;
  std::string out;
  out.reserve(whole / 4 * 3);
  for (std::size_t i = 0; i < whole; i += 4) {
    const std::uint8_t t0 = kDecode[static_cast<unsigned char>(text[i])];
    const std::uint8_t t1 = kDecode[static_cast<unsigned char>(text[i + 1])];
    const std::uint8_t t2 = kDecode[static_cast<unsigned char>(text[i + 2])];
    const std::uint8_t t3 = kDecode[static_cast<unsigned char>(text[i + 3])];
    // Bit operations on 8-bit results, so a marker (255) in t0 or t1 still gives a byte.
    out.push_back(static_cast<char>(static_cast<std::uint8_t>((t0 << 2) | (t1 >> 4))));
    if (t2 == kPadMarker) continue;
    out.push_back(static_cast<char>(static_cast<std::uint8_t>((t1 << 4) | (t2 >> 2))));
    if (t3 == kPadMarker) continue;
    out.push_back(static_cast<char>(static_cast<std::uint8_t>((t2 << 6) | t3)));
  }
  return out;
}

std::optional<std::string> Base64DecodeStrict(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
  const std::string_view body = text.substr(0, text.size() - padding);
  for (const char c : body) {
    if (c == '=' || (kDecode[static_cast<unsigned char>(c)] == 0 && c != kAlphabet[0])) return std::nullopt;
  }
  // The bits the padding leaves over must be zero, so each text has one reading only.
  if (padding > 0) {
    const std::uint8_t last = kDecode[static_cast<unsigned char>(body.back())];
    if ((padding == 1 && (last & 0x03) != 0) || (padding == 2 && (last & 0x0F) != 0)) return std::nullopt;
  }
  return Base64Decode(text);
}

}  // namespace cvl
