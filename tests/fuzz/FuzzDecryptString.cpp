// Any text handed to DecryptString either decrypts or raises EDecryptError.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/Exception.h"
#include "core/StringCipher.h"
#include "core/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string text = cvl::WidenLatin1(std::string(reinterpret_cast<const char*>(data), size));
  for (const auto key : {cvl::ServerKeyText, cvl::UserKeyText}) {
    try {
      const std::u16string plain = cvl::DecryptString(text, key);
      if (plain.size() > size) __builtin_trap();
    } catch (const cvl::EDecryptError&) {
    }
  }
  return 0;
}
