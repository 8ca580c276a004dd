#include "win32/base/SystemError.h"

#include "win32/base/WinText.h"

namespace cvl {

std::u16string SystemErrorMessage(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_ARGUMENT_ARRAY,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text;
  if (length != 0 && buffer != nullptr) {
    text = FromWide(std::wstring_view(buffer, length));
  }
  if (buffer != nullptr) ::LocalFree(buffer);
  // The system ends its texts with a line break (and blanks); the error boxes do not.
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace cvl
