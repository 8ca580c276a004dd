// The text form of a protected value: Base64 of AES-128-CBC, keyed by a key text.
//
// Text is narrowed one byte per code unit before encryption and widened one code unit
// per byte after decryption, so protected values are ISO 8859-1 text.
#pragma once

#include <string>
#include <string_view>

namespace cvl {

// Only the first 16 characters of a key text count, as key and as IV alike.
inline constexpr std::string_view ServerKeyText = "Rk2VtqPwZ8nHs4LxYc0uJbGe6MdN1aTfW3oQiS7hKlE=";
inline constexpr std::string_view UserKeyText = "Gp7XcLm2Qw9ZtRb4YhNv0KdS6FjUa3eWo8iTn1Hy5Bs=";

std::u16string EncryptString(std::u16string_view text, std::string_view keyText);

// Raises EDecryptError for a text that does not decrypt (see AesDecryptCbc).
std::u16string DecryptString(std::u16string_view text, std::string_view keyText);

}  // namespace cvl
