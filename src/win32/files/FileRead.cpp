#include "win32/files/FileRead.h"

#include "core/SystemErrors.h"
#include "win32/base/ScopedHandle.h"
#include "win32/base/SystemError.h"
#include "win32/base/WinText.h"

namespace cvl {

std::optional<std::string> ReadWholeFile(const std::u16string& path) {
  TScopedHandle file(::CreateFileW(ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    throw EFOpenError(path, SystemErrorMessage(error));
  }
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr)) {
      throw EFOpenError(path, SystemErrorMessage(::GetLastError()));
    }
    if (read == 0) break;
    bytes.append(buffer, read);
  }
  return bytes;
}

}  // namespace cvl
