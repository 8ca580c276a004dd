// AES-128-CBC on byte strings, as the launcher's protected values use it.
//
// Key and initialisation vector are the first 16 bytes of the texts passed in (every
// caller passes the same key text for both). Both texts must hold at least 16 bytes.
#pragma once

#include <string>
#include <string_view>

namespace cvl {

// Pads with PKCS#7 (a whole block of 0x10 when the length is a multiple of 16) and
// encrypts in CBC mode. Never fails.
std::string AesEncryptCbc(std::string_view data, std::string_view keyText, std::string_view ivText);

// Decrypts in CBC mode. A trailing partial block is not an error: its bytes are XORed
// with the encryption of the last whole cipher block (or of the IV). Then the value of
// the last byte says how many bytes to drop, unchecked otherwise. Raises EDecryptError
// when the output is empty or that value exceeds its length.
std::string AesDecryptCbc(std::string_view data, std::string_view keyText, std::string_view ivText);

}  // namespace cvl
