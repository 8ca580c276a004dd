#include "win32/files/Win32LocalFiles.h"

#include <windows.h>

#include <vector>

#include "win32/base/WinText.h"
#include "win32/files/FileRead.h"
#include "win32/files/FileWrite.h"

namespace cvl {

std::u16string ExecutableDirectory() {
  // Long paths do not fit MAX_PATH: grow until the whole name fits.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      std::u16string path = FromWide(std::wstring_view(buffer.data(), length));
      return path.substr(0, path.find_last_of(u"\\/") + 1);
    }
    buffer.resize(buffer.size() * 2);
  }
}

TWin32LocalFiles::TWin32LocalFiles() : FProgramDirectory(ExecutableDirectory()) {}

TWin32LocalFiles::TWin32LocalFiles(std::u16string programDirectory) : FProgramDirectory(std::move(programDirectory)) {}

std::optional<std::string> TWin32LocalFiles::ReadWholeFile(const std::u16string& path) {
  return cvl::ReadWholeFile(path);
}

void TWin32LocalFiles::WriteWholeFile(const std::u16string& path, std::string_view bytes) {
  WriteFileAtomically(path, bytes);
}

}  // namespace cvl
