#include "win32/base/WinText.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide strings are UTF-16 units");

namespace cvl {

std::wstring ToWide(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

std::u16string FromWide(std::wstring_view text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

std::u16string FromWide(const wchar_t* text) {
  return text == nullptr ? std::u16string() : FromWide(std::wstring_view(text));
}

}  // namespace cvl
