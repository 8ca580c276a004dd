#include "win32/base/SystemError.h"

#include "core/Text.h"
#include "win32/base/ScopedHandle.h"
#include "win32/base/WinText.h"

namespace cvl {

namespace {

std::u16string OSErrorText(DWORD code) {
  if (code == 0) return std::u16string(SUnkOSErrorText);
  return FormatText(SOSErrorText, {IntToText(code), SystemErrorMessage(code), u""});
}

}  // namespace

std::u16string SystemErrorMessage(DWORD code) {
  TScopedLocalMemory<wchar_t> buffer;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_ARGUMENT_ARRAY,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(buffer.Receive()), 0, nullptr);
  std::u16string text;
  if (length != 0 && buffer) text = FromWide(std::wstring_view(buffer.Get(), length));
  // The system ends its texts with a line break (and blanks); the error boxes do not.
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) {
    text.pop_back();
  }
  return text;
}

EOSError::EOSError(DWORD code) : Exception("EOSError", OSErrorText(code)), FErrorCode(code) {}

void RaiseLastOSError() { throw EOSError(::GetLastError()); }

}  // namespace cvl
