// The little of DER (ITU-T X.690) that keys and signatures need: reading elements with
// strict, minimal lengths, and writing them. Anything BER allows and DER does not (an
// indefinite or non-minimal length, a long-form tag) is refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cvl {

namespace der {
inline constexpr std::uint8_t kInteger = 0x02;
inline constexpr std::uint8_t kBitString = 0x03;
inline constexpr std::uint8_t kOctetString = 0x04;
inline constexpr std::uint8_t kNull = 0x05;
inline constexpr std::uint8_t kObjectId = 0x06;
inline constexpr std::uint8_t kSequence = 0x30;
inline constexpr std::uint8_t kContext0 = 0xA0;  // [0], constructed
inline constexpr std::uint8_t kContext1 = 0xA1;  // [1], constructed
}  // namespace der

// Reads the elements of one level, front to back.
class TDerReader {
 public:
  explicit TDerReader(std::string_view bytes) : FRest(bytes) {}

  // The tag of the next element; nullopt at the end.
  std::optional<std::uint8_t> PeekTag() const;
  // The content of the next element when its tag is `tag` and its length is well
  // formed; nullopt (and nothing consumed) otherwise.
  std::optional<std::string_view> Read(std::uint8_t tag);
  bool AtEnd() const { return FRest.empty(); }
  // What is not read yet.
  std::string_view Rest() const { return FRest; }

 private:
  std::string_view FRest;
};

// The magnitude of a non-negative INTEGER's content in minimal form, leading zeros
// removed; nullopt for a negative or non-minimal encoding.
std::optional<std::string_view> DerUnsignedValue(std::string_view integerContent);

// One element: tag, minimal length, content.
std::string DerElement(std::uint8_t tag, std::string_view content);
// A non-negative INTEGER from big-endian magnitude bytes (leading zeros allowed).
std::string DerUnsignedInteger(std::string_view magnitude);

}  // namespace cvl
