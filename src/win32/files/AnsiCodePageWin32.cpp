#include "win32/files/AnsiCodePageWin32.h"

#include <windows.h>

#include <climits>

#include "win32/base/WinText.h"

namespace cvl {

std::u16string TWin32AnsiCodePage::Decode(std::string_view bytes) const {
  if (bytes.empty() || bytes.size() > INT_MAX) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, text.data(), length);
  return FromWide(text);
}

std::string TWin32AnsiCodePage::Encode(std::u16string_view text) const {
  if (text.empty() || text.size() > INT_MAX) return {};
  const std::wstring wide = ToWide(text);
  const int size = static_cast<int>(wide.size());
  const int length = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), size, bytes.data(), length, nullptr, nullptr);
  return bytes;
}

}  // namespace cvl
