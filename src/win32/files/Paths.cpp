#include "win32/files/Paths.h"

#include <windows.h>

#include <vector>

#include "win32/base/WinText.h"

namespace cvl {

namespace {

// The running executable's full path, however long.
std::u16string ProgramPath() {
  // Long paths do not fit MAX_PATH: grow until the whole name fits.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return FromWide(std::wstring_view(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::u16string ProgramFileName() {
  const std::u16string path = ProgramPath();
  return path.substr(path.find_last_of(u"\\/") + 1);
}

std::u16string ExecutableDirectory() {
  const std::u16string path = ProgramPath();
  return path.substr(0, path.find_last_of(u"\\/") + 1);
}

std::wstring FullPathName(const std::wstring& path) {
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::vector<wchar_t> buffer(needed);
  const DWORD length = ::GetFullPathNameW(path.c_str(), needed, buffer.data(), nullptr);
  return length == 0 || length >= needed ? path : std::wstring(buffer.data(), length);
}

}  // namespace cvl
