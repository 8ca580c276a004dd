#include "StringCipher.h"

#include "Base64.h"
#include "Text.h"
#include "V1PakConvert.h"

namespace cvl {

std::u16string EncryptString(std::u16string_view text, std::string_view keyText) {
  return WidenLatin1(Base64Encode(AesEncryptCbc(NarrowLatin1(text), keyText, keyText)));
}

std::u16string DecryptString(std::u16string_view text, std::string_view keyText) {
  return WidenLatin1(AesDecryptCbc(Base64Decode(NarrowLatin1(text)), keyText, keyText));
}

}  // namespace cvl
